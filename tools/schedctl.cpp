// schedctl: the operator's tool. It asks the running scheduler about its
// manual triggers, or reads a rule set through the scheduler's own code.
//
// Every text about a command or an option stands once, in the tables below;
// `schedctl --help` and `schedctl COMMAND --help` are made from them, and the
// manual page from `schedctl --help`, so they keep to the layout help2man
// reads: "Usage:" and "  or:" lines, sections ending in a colon, options
// indented and starting with a dash.
//
// Exit codes: 0 success, 1 the answer is a problem (a trigger nobody has, a
// schedule the rule set lacks, problems found by check), 2 usage errors, a
// missing rule set, or a scheduler or bus that cannot be reached. Errors are
// one line on standard error.

#include "clock.h"
#include "context.h"
#include "hubrouter.h"
#include "msg.h"
#include "names.h"
#include "schedctlrules.h"
#include "schedctltime.h"
#include "toolsupport.h"
#include "trace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <functional>

using namespace Orvel;
using SchedctlRules::Output;

namespace {

const char kTool[] = "schedctl";
// How long schedctl looks for the scheduler on the bus, and waits for its
// answer: a hung or busy scheduler is reported instead of waited for.
constexpr int kPeerLookupMs = 2000;
constexpr int kRequestMs = 5000;
// What a preview lists when asked for neither a count nor an end.
constexpr int kDefaultPreviewCount = 10;
// What a timeline draws when asked for neither a number of days nor an end,
// and the most days it draws: a year.
constexpr int kDefaultTimelineDays = 7;
constexpr int kMaxTimelineDays = 366;

// ---- the texts ---------------------------------------------------------------

struct OptionText
{
    const char *name;
    const char *value; // the name of its value in the help
    const char *description;
};

const OptionText kOptions[] = {
    {"rule-set", "N", "read rule set N, the folder $ORVEL_HOME/rules/N"},
    {"from", "TIME", "start at TIME instead of now"},
    {"count", "K", "list K firings (default 10, at most 1000000)"},
    {"until", "TIME", "every firing up to TIME instead"},
    {"days", "D", "draw D days (default 7, at most 366)"},
    {"schedule", "NAME", "list the schedule NAME only"},
    {"output", "FORM", "print a table (the default), tsv or json"},
    {"tag", "TAG", "a tag the events carry, such as a change number"},
    {"svg", "FILE", "write the picture to FILE as SVG"},
    {"html", "FILE", "write a page to FILE: the picture and a table of its firings"},
};

// The paragraphs that explain an option's value, under the options.
const struct
{
    const char *option;
    const char *text;
} kValueNotes[] = {
    {"from", "TIME is local time: yyyyMMddhhmmss, yyyy-MM-dd, \"yyyy-MM-dd hh:mm[:ss]\", now,\n"
             "or an offset such as +90s, +15min, +6h, +2d or +1w (-2d for the past),\n"
             "counted from now, or for --until from --from. Days and weeks keep the time\n"
             "of day across a clock change.\n"},
    {"output", "FORM is table (aligned columns for people, and a last line naming the rule\n"
               "set), tsv (tab-separated lines for scripts, without heading) or json (one\n"
               "JSON document on one line; the operator guide lists its fields).\n"},
};

struct Values;

struct CommandText
{
    const char *name;
    const char *synopsis; // what follows the command's name on its usage line
    const char *summary;  // its line in the list of commands
    const char *description;
    QStringList options;
    int arguments; // how many it takes besides the options
    int (*run)(const Values &values);
};

int runTriggers(const Values &values);
int runTrigger(const Values &values);
int runTimers(const Values &values);
int runPreview(const Values &values);
int runExplain(const Values &values);
int runCheck(const Values &values);
int runTimeline(const Values &values);

const CommandText kCommands[] = {
    {"triggers",
     "[--rule-set N] [--output FORM]",
     "list the manual triggers of the running scheduler, or of a rule set",
     "List the manual triggers, each with its policy and operation: those of the\n"
     "running scheduler, or with --rule-set those of rule set N, read from its files.\n",
     {"rule-set", "output"},
     0,
     runTriggers},
    {"trigger",
     "NAME [--tag TAG]",
     "make every schedule with the manual trigger NAME due now",
     "Ask the running scheduler to fire at once every schedule whose manual trigger\n"
     "is NAME (compared ignoring case), and tell how many it made due. Exit 1 when\n"
     "no schedule has it.\n",
     {"tag"},
     1,
     runTrigger},
    {"timers",
     "[--rule-set N] [--output FORM]",
     "show when each schedule fires next and why, and when it last fired",
     "For every schedule of rule set N (default: the highest-numbered folder), when\n"
     "it fires next, the time left, what fires it, when it last fired and how long\n"
     "ago, from the rules and the scheduler's store. The store is never written.\n",
     {"rule-set", "output"},
     0,
     runTimers},
    {"preview",
     "[--rule-set N] [--from TIME] [--count K | --until TIME] [--schedule NAME] "
     "[--output FORM]",
     "show what the scheduler would fire from an instant on",
     "What the scheduler would fire from TIME on (default: now) if it started then on\n"
     "rule set N (default: the highest-numbered folder) without stored times:\n"
     "10 firings, K firings, or every firing up to --until. Each shows its time, the\n"
     "time left until it, its schedule, policy and operation, and what fires it; a\n"
     "clock change in between shows as a line of its own. The store is not read.\n",
     {"rule-set", "from", "count", "until", "schedule", "output"},
     0,
     runPreview},
    {"explain",
     "NAME [--rule-set N] [--from TIME] [--output FORM]",
     "show why a schedule fires next when it does",
     "Tell why schedule NAME of rule set N (default: the highest-numbered folder)\n"
     "fires next when it does, as the scheduler's own search decided it: the last\n"
     "firing, each trigger's next run time, the exclusion that moved it and where\n"
     "to, whether it stayed inside its window, the fallbacks tried and the one that\n"
     "won, the objective's period, and the answer. Without --from it reads the rules\n"
     "and the scheduler's store as timers does; with --from it explains a fresh\n"
     "start at TIME without the store, as preview does. The store is never written.\n"
     "tsv prints each step of the search. Exit 1 when there is no such schedule.\n",
     {"rule-set", "from", "output"},
     1,
     runExplain},
    {"check",
     "[--rule-set N] [--output FORM]",
     "show what the scheduler would skip in a rule set, and why",
     "Read rule set N (default: the highest-numbered folder) as the scheduler does\n"
     "and list every file, policy, operation and element it would skip, with the\n"
     "reason, and apart from them the notes: what it uses, but with a fault it\n"
     "traces, such as a schedule file without an objective. Exit 1 when anything is\n"
     "skipped; notes alone exit 0.\n",
     {"rule-set", "output"},
     0,
     runCheck},
    // --until beside --days: objectives of a few seconds, as in examples/home,
    // fire more often in one day than a picture can show, minutes of them not.
    {"timeline",
     "[--rule-set N] [--from TIME] [--days D | --until TIME] (--svg FILE | --html FILE)",
     "draw what the scheduler would fire over the coming days",
     "Draw what the scheduler would fire over D calendar days from TIME (default: 7\n"
     "days from now; a day with a clock change has 23 or 25 hours), or up to --until,\n"
     "the end excluded: the firings `schedctl preview` lists for the same range.\n"
     "One lane per schedule, grouped by policy; a mark per firing, coloured by what\n"
     "fired it (trigger, fallback, objective); trigger and fallback windows as light\n"
     "bars, exclusions as hatched bands, day boundaries and clock changes as vertical\n"
     "rules; the manual triggers beside. --html writes one self-contained page: the\n"
     "picture and, below it, a table of the same firings. Exit 1 when the range holds\n"
     "more than 50000 firings.\n",
     {"rule-set", "from", "days", "until", "svg", "html"},
     0,
     runTimeline},
};

const char kGeneralDescription[] =
    "Ask the scheduler about its manual triggers and fire them, and read its rule\n"
    "sets as it does: when each schedule fires and why, and what it would skip.\n";

const char kClosingSections[] =
    "Environment:\n"
    "  ORVEL_HOME  the node's files: rule sets in rules/N, the scheduler's store in\n"
    "              local/ (default /var/lib/orvel)\n"
    "  ORVEL_BUS   the bus of the running scheduler: session, system or an address\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  the answer is a problem: a trigger no schedule has, a schedule the rule\n"
    "     set lacks, anything check finds skipped, more firings than a timeline draws\n"
    "  2  a usage error, a missing rule set, a scheduler or bus that cannot be\n"
    "     reached, or a file that cannot be written\n"
    "\n"
    "Run 'schedctl COMMAND --help' for the options of one command.\n";

// "      --rule-set N      read rule set N ..."
QString optionLine(const QString &names, const char *description)
{
    return QStringLiteral("  %1  %2\n").arg(names.leftJustified(20), QLatin1String(description));
}

const OptionText &optionText(const QString &name)
{
    for (const OptionText &option : kOptions) {
        if (name == QLatin1String(option.name))
            return option;
    }
    return kOptions[0];
}

// The options, the lines about -h and --version, and the notes on their values.
QString optionSection(const QStringList &names, const char *helpText, bool version)
{
    QString text = QStringLiteral("\nOptions:\n");
    for (const QString &name : names) {
        const OptionText &option = optionText(name);
        text += optionLine(QStringLiteral("    --%1 %2").arg(name, QLatin1String(option.value)),
                           option.description);
    }
    text += optionLine(QStringLiteral("-h, --help"), helpText);
    if (version)
        text += optionLine(QStringLiteral("    --version"), "show the version");
    for (const auto &note : kValueNotes) {
        if (names.contains(QLatin1String(note.option)))
            text += QLatin1Char('\n') + QLatin1String(note.text);
    }
    return text;
}

QString usageLine(const CommandText &command)
{
    return QStringLiteral("schedctl %1 %2\n")
        .arg(QLatin1String(command.name), QLatin1String(command.synopsis));
}

QString generalHelp()
{
    QString text;
    QStringList everyOption;
    for (const CommandText &command : kCommands)
        text += QLatin1String(text.isEmpty() ? "Usage: " : "  or:  ") + usageLine(command);
    text += QLatin1String(kGeneralDescription) + QStringLiteral("\nCommands:\n");
    for (const OptionText &option : kOptions)
        everyOption << QLatin1String(option.name);
    for (const CommandText &command : kCommands)
        text += QStringLiteral("  %1  %2\n")
                    .arg(QString::fromLatin1(command.name).leftJustified(8),
                         QLatin1String(command.summary));
    return text +
           optionSection(everyOption, "show this help (after a command, that command's help)",
                         true) +
           QLatin1Char('\n') + QLatin1String(kClosingSections);
}

QString commandHelp(const CommandText &command)
{
    return QStringLiteral("Usage: ") + usageLine(command) + QLatin1String(command.description) +
           optionSection(command.options, "show this help", false);
}

const CommandText *commandNamed(const QString &name)
{
    for (const CommandText &command : kCommands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

// One line on standard error, pointing to the help that applies; exit code 2.
int usage(const QString &why, const CommandText *command)
{
    QString text = why;
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    ToolSupport::fail(
        kTool,
        QStringLiteral("%1 (see 'schedctl%2 --help')")
            .arg(text, command ? QLatin1Char(' ') + QLatin1String(command->name) : QString()));
    return ToolSupport::ExitFailure;
}

// ---- the values of the options --------------------------------------------------

struct Values
{
    quint32 ruleSet = 0; // 0: not given
    Output output = Output::Table;
    SchedctlRules::Range range;
    QDateTime freshStart; // --from as given; invalid without it
    QDateTime end;        // of a timeline, excluded
    QString picture;      // the file a timeline is written to
    bool page = false;    // whether it is an HTML page rather than an SVG picture
    QString tag;
    QStringList arguments;
};

// Reads a timeline's end and file, once the start is read.
QString readPicture(const QCommandLineParser &parser, Values &values)
{
    const auto given = [&](const char *name) { return parser.isSet(QLatin1String(name)); };
    const auto value = [&](const char *name) { return parser.value(QLatin1String(name)); };
    if (given("days") && given("until"))
        return QStringLiteral("--days and --until exclude each other");
    bool ok = true;
    const int days = given("days") ? value("days").toInt(&ok, 10) : kDefaultTimelineDays;
    if (!ok || days < 1 || days > kMaxTimelineDays)
        return QStringLiteral("--days needs a number from 1 to %1, not '%2'")
            .arg(kMaxTimelineDays)
            .arg(value("days"));
    // Calendar days, as "--until +7d" reads them: the time of day stays.
    const QDateTime &from = values.range.from;
    values.end = given("until") ? values.range.until
                                : SchedctlTime::parse(QStringLiteral("+%1d").arg(days), from, from);
    if (values.end <= from)
        return QStringLiteral("--until needs a TIME after --from, not '%1'").arg(value("until"));
    if (given("svg") == given("html"))
        return QStringLiteral("timeline needs either --svg FILE or --html FILE");
    values.page = given("html");
    values.picture = value(values.page ? "html" : "svg");
    return QString();
}

// Reads and checks the options `command` takes; an empty text when they are
// usable, else why not.
QString readValues(const CommandText &command, const QCommandLineParser &parser, Values &values)
{
    const auto given = [&](const char *name) {
        return command.options.contains(QLatin1String(name)) && parser.isSet(QLatin1String(name));
    };
    const auto value = [&](const char *name) {
        return given(name) ? parser.value(QLatin1String(name)) : QString();
    };
    bool ok = true;
    if (given("rule-set") && (values.ruleSet = value("rule-set").toUInt(&ok, 10)) == 0)
        return QStringLiteral("--rule-set needs a number above 0, not '%1'").arg(value("rule-set"));
    // In the order of Output, the table first: it is the default.
    static const QStringList forms{"table", "tsv", "json"};
    if (given("output") && !forms.contains(value("output")))
        return QStringLiteral("--output takes table, tsv or json, not '%1'").arg(value("output"));
    values.output = Output(std::max<qsizetype>(0, forms.indexOf(value("output"))));
    const QDateTime now = Clock::now();
    SchedctlRules::Range &range = values.range;
    range.from = SchedctlTime::parse(given("from") ? value("from") : QStringLiteral("now"), now);
    if (!range.from.isValid())
        return QStringLiteral("--from needs a TIME such as 20261224000000, '2026-12-24 08:00' "
                              "or +6h, not '%1'")
            .arg(value("from"));
    if (given("from"))
        values.freshStart = range.from;
    if (given("count") && given("until"))
        return QStringLiteral("--count and --until exclude each other");
    range.count = given("count")   ? value("count").toInt(&ok, 10)
                  : given("until") ? SchedctlRules::kMaxPreviewCount
                                   : kDefaultPreviewCount;
    if (!ok || range.count < 1 || range.count > SchedctlRules::kMaxPreviewCount)
        return QStringLiteral("--count needs a number from 1 to %1, not '%2'")
            .arg(SchedctlRules::kMaxPreviewCount)
            .arg(value("count"));
    if (given("until")) {
        // "--from 2027-03-15 --until +30d": an offset counts from the start.
        range.until = SchedctlTime::parse(value("until"), now, range.from);
        if (!range.until.isValid() || range.until < range.from)
            return QStringLiteral("--until needs a TIME not before --from, not '%1'")
                .arg(value("until"));
    }
    range.schedule = value("schedule");
    values.tag = value("tag");
    return command.options.contains(QLatin1String("days")) ? readPicture(parser, values)
                                                           : QString();
}

// ---- the commands -----------------------------------------------------------------

Msg askScheduler(QLatin1StringView request, const XmlList &body, int &exitCode)
{
    const QString scheduler = Names::Scheduler;
    const MsgAddress address(scheduler, scheduler);
    exitCode = ToolSupport::ExitFailure;
    if (!HubRouter::isReady(address, kPeerLookupMs)) {
        ToolSupport::fail(kTool, QStringLiteral("the scheduler is not running (no process owns %1)")
                                     .arg(address.busName()));
        return Msg();
    }
    const Msg reply = Msg(address, request, body, 0).request(kRequestMs);
    if (!reply)
        ToolSupport::fail(
            kTool,
            QStringLiteral("the scheduler did not answer %1: %2").arg(request, reply.errorText()));
    else
        exitCode = ToolSupport::ExitSuccess;
    return reply;
}

int listTriggers(Output output)
{
    int exitCode = ToolSupport::ExitFailure;
    const Msg reply = askScheduler(Names::SchedulerListManualTriggersRequest, XmlList(), exitCode);
    if (!reply)
        return exitCode;
    QList<QStringList> rows;
    const XmlList &body = reply.body();
    for (XmlListIterator it = body.first(); !it.isNull(); it.next()) {
        XmlList data;
        QString policy;
        QString operation;
        body.get(data, it);
        data.get(policy, Names::Policy);
        data.get(operation, Names::Operation);
        rows.append({it.name(), policy, operation});
    }
    return SchedctlRules::printTriggers(rows, 0, output);
}

int fireTrigger(const QString &name, const QString &tag)
{
    XmlList body;
    body.set(Names::ActivationName, name, XmlList::Replace);
    if (!tag.isEmpty())
        body.set(Names::UserTag, tag, XmlList::Replace);
    int exitCode = ToolSupport::ExitFailure;
    const Msg reply = askScheduler(Names::SchedulerManualTriggerRequest, body, exitCode);
    if (!reply)
        return exitCode;
    const qint32 count = reply.get(Names::ActivationCount, 0);
    if (count <= 0) {
        ToolSupport::fail(kTool,
                          QStringLiteral("no schedule has the manual trigger \"%1\"").arg(name));
        return ToolSupport::ExitProblem;
    }
    std::printf("%s: %d schedule%s made due\n", qPrintable(name), count, count == 1 ? "" : "s");
    return ToolSupport::ExitSuccess;
}

int onBus(const std::function<int()> &work)
{
    int result = ToolSupport::ExitFailure;
    const auto entry = [&]() { result = work(); };
    if (Context::run(entry, 3, 0, QLatin1String(kTool), QStringLiteral("Tools"),
                     QLatin1String(kTool)) != 0) {
        ToolSupport::fail(kTool, QStringLiteral("cannot reach the bus"));
        return ToolSupport::ExitFailure;
    }
    return result;
}

int onRuleSet(const Values &values, const std::function<int(quint32)> &work)
{
    const quint32 ruleSet = SchedctlRules::ruleSetOrLatest(values.ruleSet);
    return ruleSet == 0 ? ToolSupport::ExitFailure : work(ruleSet);
}

int runTriggers(const Values &values)
{
    if (values.ruleSet == 0)
        return onBus([&values]() { return listTriggers(values.output); });
    return onRuleSet(values, [&values](quint32 ruleSet) {
        return SchedctlRules::triggers(ruleSet, values.output);
    });
}

int runTrigger(const Values &values)
{
    return onBus([&values]() { return fireTrigger(values.arguments.first(), values.tag); });
}

int runTimers(const Values &values)
{
    return onRuleSet(values, [&values](quint32 ruleSet) {
        return SchedctlRules::timers(ruleSet, values.output);
    });
}

int runPreview(const Values &values)
{
    return onRuleSet(values, [&values](quint32 ruleSet) {
        return SchedctlRules::preview(ruleSet, values.range, values.output);
    });
}

int runExplain(const Values &values)
{
    return onRuleSet(values, [&values](quint32 ruleSet) {
        return SchedctlRules::explain(ruleSet, values.arguments.first(), values.freshStart,
                                      values.output);
    });
}

int runCheck(const Values &values)
{
    return onRuleSet(values, [&values](quint32 ruleSet) {
        return SchedctlRules::check(ruleSet, values.output);
    });
}

int runTimeline(const Values &values)
{
    return onRuleSet(values, [&values](quint32 ruleSet) {
        return SchedctlRules::timeline(ruleSet, values.range.from, values.end, values.picture,
                                       values.page);
    });
}

// ---- the command line ---------------------------------------------------------------

int run(const QStringList &args)
{
    const QString first = args.value(0);
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        std::printf("%s", qPrintable(generalHelp()));
        return ToolSupport::ExitSuccess;
    }
    if (first == QLatin1String("--version")) {
        std::printf("schedctl (%s) %s\n", ORVEL_PACKAGE, ORVEL_VERSION);
        return ToolSupport::ExitSuccess;
    }
    const CommandText *command = commandNamed(first);
    if (!command)
        return usage(args.isEmpty() ? QStringLiteral("no command given")
                     : first.startsWith(QLatin1Char('-'))
                         ? QStringLiteral("unknown option '%1'").arg(first)
                         : QStringLiteral("unknown command '%1'").arg(first),
                     nullptr);
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption(QStringList{"h", "help"}));
    for (const QString &name : command->options)
        parser.addOption(
            QCommandLineOption(name, QString(), QLatin1String(optionText(name).value)));
    if (!parser.parse(QStringList(QLatin1String(kTool)) + args.mid(1)))
        return usage(parser.errorText(), command);
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(commandHelp(*command)));
        return ToolSupport::ExitSuccess;
    }
    Values values;
    values.arguments = parser.positionalArguments();
    if (values.arguments.size() > command->arguments)
        return usage(QStringLiteral("unexpected argument '%1'").arg(values.arguments.last()),
                     command);
    if (values.arguments.size() < command->arguments)
        return usage(QStringLiteral("%1 needs %2")
                         .arg(QLatin1String(command->name),
                              QString::fromLatin1(command->synopsis).section(' ', 0, 0)),
                     command);
    const QString why = readValues(*command, parser, values);
    return why.isEmpty() ? command->run(values) : usage(why, command);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    // Every conversion to local time would read the zone's file again.
    Clock::settleZone();
    // The framework's and the scheduler's trace stays out of the operator's
    // output unless asked for: errors are schedctl's own one line.
    if (!qEnvironmentVariableIsSet("ORVEL_TRACE_LEVEL")) {
        qputenv("ORVEL_TRACE_LEVEL", "-1");
        Trace::configure();
    }
    return run(application.arguments().mid(1));
}
