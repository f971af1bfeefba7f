// schedctl: the operator's tool. It asks the running scheduler about its
// manual triggers, or reads a rule set through the scheduler's own code.
//
//   schedctl triggers
//   schedctl trigger NAME [--tag TAG]
//   schedctl timers [--rule-set N]
//   schedctl preview --rule-set N --from yyyyMMddhhmmss --count K [--schedule NAME]
//   schedctl check [--rule-set N]
//
// Exit codes: 0 success, 1 the answer is a problem (a trigger nobody has,
// problems found by check), 2 usage errors, a missing rule set, or a
// scheduler or bus that cannot be reached. Errors are one line on standard
// error.

#include "context.h"
#include "msg.h"
#include "msgnames.h"
#include "schedctlrules.h"
#include "toolsupport.h"
#include "trace.h"

#include <QCoreApplication>
#include <QMap>
#include <QStringList>

#include <cstdio>

using namespace Orvel;

namespace {

const char kTool[] = "schedctl";
// How long schedctl looks for the scheduler on the bus, and waits for its
// answer: a hung or busy scheduler is reported instead of waited for.
constexpr int kPeerLookupMs = 2000;
constexpr int kRequestMs = 5000;
// The most firings one preview lists: enough for years of a busy rule set,
// and a bound on the work a mistyped count can ask for.
constexpr int kMaxPreviewCount = 1000000;

struct Command
{
    QString name;
    QStringList positional;
    QMap<QString, QString> options;
};

int usage(const QString &why)
{
    ToolSupport::fail(kTool, why);
    std::fprintf(stderr, "usage: schedctl triggers\n"
                         "       schedctl trigger NAME [--tag TAG]\n"
                         "       schedctl timers [--rule-set N]\n"
                         "       schedctl preview --rule-set N --from yyyyMMddhhmmss --count K "
                         "[--schedule NAME]\n"
                         "       schedctl check [--rule-set N]\n");
    return 2;
}

// Splits the arguments into positional ones and "--option value" pairs;
// false when an option has no value or is not one `allowed` lists.
bool split(const QStringList &args, const QStringList &allowed, Command &command)
{
    command.name = args.value(0);
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (!arg.startsWith(QLatin1String("--"))) {
            command.positional.append(arg);
            continue;
        }
        if (!allowed.contains(arg) || i + 1 >= args.size())
            return false;
        command.options.insert(arg, args.at(++i));
    }
    return true;
}

Msg askScheduler(const char *request, const XmlList &body, int &exitCode)
{
    const QString scheduler = QLatin1String(Names::Scheduler);
    const MsgAddress address(scheduler, scheduler);
    exitCode = 2;
    if (!ToolSupport::peerIsThere(address, kPeerLookupMs)) {
        ToolSupport::fail(kTool, QStringLiteral("the scheduler is not running (no process owns %1)")
                                     .arg(address.busName()));
        return Msg();
    }
    const Msg reply = Msg(address, QLatin1String(request), body, 0).request(kRequestMs);
    if (!reply)
        ToolSupport::fail(kTool, QStringLiteral("the scheduler did not answer %1: %2")
                                     .arg(QLatin1String(request), reply.errorText()));
    else
        exitCode = 0;
    return reply;
}

int listTriggers()
{
    int exitCode = 2;
    const Msg reply = askScheduler(Names::SchedulerListManualTriggersRequest, XmlList(), exitCode);
    if (!reply)
        return exitCode;
    QList<QStringList> rows{{"TRIGGER", "POLICY", "OPERATION"}};
    const XmlList &body = reply.body();
    for (XmlListIterator it = body.first(); !it.isNull(); it.next()) {
        XmlList data;
        QString policy;
        QString operation;
        body.get(data, it);
        data.get(policy, QLatin1String(Names::Policy));
        data.get(operation, QLatin1String(Names::Operation));
        rows.append({it.name(), policy, operation});
    }
    if (rows.size() == 1)
        std::printf("no manual triggers in the current rule set\n");
    else
        ToolSupport::printAligned(rows);
    return 0;
}

int fireTrigger(const QString &name, const QString &tag)
{
    XmlList body;
    body.set(QLatin1String(Names::ActivationName), name, XmlList::Replace);
    if (!tag.isEmpty())
        body.set(QLatin1String(Names::UserTag), tag, XmlList::Replace);
    int exitCode = 2;
    const Msg reply = askScheduler(Names::SchedulerManualTriggerRequest, body, exitCode);
    if (!reply)
        return exitCode;
    const qint32 count = reply.get(QLatin1String(Names::ActivationCount), 0);
    if (count <= 0) {
        ToolSupport::fail(kTool,
                          QStringLiteral("no schedule has the manual trigger \"%1\"").arg(name));
        return 1;
    }
    std::printf("%s: %d schedule%s made due\n", qPrintable(name), count, count == 1 ? "" : "s");
    return 0;
}

int onBus(const std::function<int()> &work)
{
    int result = 2;
    const auto entry = [&]() { result = work(); };
    if (Context::run(entry, 3, 0, QLatin1String(kTool), QStringLiteral("Tools"),
                     QLatin1String(kTool)) != 0) {
        ToolSupport::fail(kTool, QStringLiteral("cannot reach the bus"));
        return 2;
    }
    return result;
}

// --rule-set as a number above 0; 0 when absent, -1 when unreadable.
qint64 ruleSetOption(const Command &command)
{
    const QString text = command.options.value(QStringLiteral("--rule-set"));
    if (text.isEmpty())
        return 0;
    bool ok = false;
    const quint32 number = text.toUInt(&ok, 10);
    return ok && number > 0 ? qint64(number) : -1;
}

int runPreview(const Command &command)
{
    const qint64 given = ruleSetOption(command);
    const QDateTime from = QDateTime::fromString(command.options.value(QStringLiteral("--from")),
                                                 QStringLiteral("yyyyMMddhhmmss"));
    bool ok = false;
    const int count = command.options.value(QStringLiteral("--count")).toInt(&ok, 10);
    if (given <= 0)
        return usage(QStringLiteral("preview needs --rule-set N, a number above 0"));
    if (!from.isValid())
        return usage(
            QStringLiteral("preview needs --from yyyyMMddhhmmss, a local time that exists"));
    if (!ok || count < 1 || count > kMaxPreviewCount)
        return usage(QStringLiteral("preview needs --count K, 1 to %1").arg(kMaxPreviewCount));
    const quint32 ruleSet = SchedctlRules::ruleSetOrLatest(quint32(given));
    if (ruleSet == 0)
        return 2;
    return SchedctlRules::preview(ruleSet, from, count,
                                  command.options.value(QStringLiteral("--schedule")));
}

int runOnRuleSet(const Command &command, int (*work)(quint32))
{
    const qint64 given = ruleSetOption(command);
    if (given < 0)
        return usage(QStringLiteral("--rule-set needs a number above 0"));
    const quint32 ruleSet = SchedctlRules::ruleSetOrLatest(quint32(given));
    return ruleSet == 0 ? 2 : work(ruleSet);
}

int run(const QStringList &args)
{
    static const QMap<QString, QStringList> allowed{
        {"triggers", {}},           {"trigger", {"--tag"}},
        {"timers", {"--rule-set"}}, {"preview", {"--rule-set", "--from", "--count", "--schedule"}},
        {"check", {"--rule-set"}},
    };
    Command command;
    if (!allowed.contains(args.value(0)))
        return usage(args.isEmpty() ? QStringLiteral("no command given")
                                    : QStringLiteral("unknown command %1").arg(args.first()));
    const int wantedPositional = args.first() == QLatin1String("trigger") ? 1 : 0;
    if (!split(args, allowed.value(args.first()), command) ||
        command.positional.size() != wantedPositional)
        return usage(QStringLiteral("wrong arguments for %1").arg(args.first()));
    if (command.name == QLatin1String("triggers"))
        return onBus(listTriggers);
    if (command.name == QLatin1String("trigger"))
        return onBus([&command]() {
            return fireTrigger(command.positional.first(),
                               command.options.value(QStringLiteral("--tag")));
        });
    if (command.name == QLatin1String("preview"))
        return runPreview(command);
    return runOnRuleSet(command, command.name == QLatin1String("timers") ? SchedctlRules::timers
                                                                         : SchedctlRules::check);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    // The framework's and the scheduler's trace stays out of the operator's
    // output unless asked for: errors are schedctl's own one line.
    if (!qEnvironmentVariableIsSet("ORVEL_TRACE_LEVEL")) {
        qputenv("ORVEL_TRACE_LEVEL", "-1");
        Trace::configure();
    }
    return run(application.arguments().mid(1));
}
