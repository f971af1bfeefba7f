// schedctl check: loads the rule set through the scheduler's own code with
// the trace turned into a list of problems. Everything the loading traces at
// level 2 or below is a file, policy, operation or element the scheduler
// skips or cannot use; the level-3 lines only tell which file is being read.

#include "schedctlrules.h"

#include "fixedpath.h"
#include "names.h"
#include "rulesetloader.h"
#include "toolsupport.h"
#include "trace.h"

#include <QJsonArray>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <cstdio>

using namespace Orvel;

namespace {

// The highest level at which the loading reports a problem.
constexpr int kProblemLevel = 2;

struct Line
{
    int level = 0;
    QString source;
    QString text;
};

// "YYYY-MM-DDThh:mm:ss.zzz L source:line items..." split into its parts.
Line parse(const QByteArray &raw)
{
    const QString line = QString::fromUtf8(raw).trimmed();
    const QStringList parts = line.split(QLatin1Char(' '));
    Line parsed;
    parsed.level = parts.value(1).toInt();
    parsed.source = parts.value(2).section(QLatin1Char(':'), 0, 0);
    parsed.text = parts.mid(3).join(QLatin1Char(' '));
    return parsed;
}

// Sorts the problem lines of one load into files. Problems found while a
// schedule file is read are held until the policy parser names that file.
class Attribution
{
public:
    explicit Attribution(quint32 ruleSet)
        : m_folder(FixedPath::rules(ruleSet) + QLatin1Char('/'))
        , m_file(Names::DispatcherRulesFile)
    {}

    void take(const Line &line)
    {
        if (line.source == QLatin1String("rulesetloader") &&
            line.text.startsWith(QLatin1String("Parse policy rules")))
            m_file = Names::PolicyRulesFile;
        if (line.source == QLatin1String("policyparser")) {
            settle(line);
            return;
        }
        if (line.level > kProblemLevel)
            return;
        const QString named = namedFile(line.text);
        if (!named.isEmpty())
            m_problems.append({named, tidy(line.text)});
        else
            (isScheduleSource(line.source) ? m_pending : m_problems)
                .append({m_file, tidy(line.text)});
    }

    QList<QStringList> finish()
    {
        m_problems.append(m_pending);
        return m_problems;
    }

private:
    static bool isScheduleSource(const QString &source)
    {
        return source != QLatin1String("localpolicies") && source != QLatin1String("rulesetloader");
    }

    // "Add backup schedule N Schedule file F" and "Invalid backup schedule
    // ... Schedule F" end the reading of F; "... RPO only" had no file.
    void settle(const Line &line)
    {
        static const QRegularExpression named(QStringLiteral(" Schedule (?:file )?(\\S+)$"));
        const QRegularExpressionMatch match = named.match(line.text);
        const QString scheduleFile = match.hasMatch() ? match.captured(1) : m_file;
        if (match.hasMatch() || line.text.startsWith(QLatin1String("Add backup schedule"))) {
            for (QStringList &problem : m_pending)
                problem[0] = scheduleFile;
            m_problems.append(m_pending);
            m_pending.clear();
        }
        if (line.level <= kProblemLevel)
            m_problems.append({scheduleFile, tidy(line.text)});
    }

    // The file a line names by its path, relative to the rule set: the
    // framework's lines about files, and the readers' lines about entries
    // passed over for their type.
    QString namedFile(const QString &text) const
    {
        const int at = text.indexOf(m_folder);
        if (at < 0)
            return QString();
        return text.mid(at + m_folder.size()).section(QLatin1Char(' '), 0, 0);
    }

    // Paths inside the rule set are shown relative to it.
    QString tidy(QString text) const { return text.replace(m_folder, QString()); }

    QString m_folder;
    QString m_file;
    QList<QStringList> m_pending;
    QList<QStringList> m_problems;
};

} // namespace

namespace SchedctlRules {

int check(quint32 ruleSet, Output output)
{
    qputenv("ORVEL_TRACE_LEVEL", "3");
    Trace::configure();
    Attribution attribution(ruleSet);
    Trace::setSink([&attribution](const QByteArray &raw) { attribution.take(parse(raw)); });
    const int schedules = RuleSetLoader::load(ruleSet, nullptr).size();
    Trace::setSink(nullptr);
    const QList<QStringList> problems = attribution.finish();
    if (output == Output::Json) {
        QJsonArray found;
        for (const QStringList &problem : problems)
            found.append(QJsonObject{{"file", problem.at(0)}, {"reason", problem.at(1)}});
        printJson({{"ruleSet", qint64(ruleSet)}, {"schedules", schedules}, {"problems", found}});
    } else if (output == Output::Tsv) {
        printTsv(problems);
    } else {
        std::printf("rule set %u: %s, %s\n", ruleSet, qPrintable(counted(schedules, "schedule")),
                    problems.isEmpty() ? "no problems"
                                       : qPrintable(counted(problems.size(), "problem")));
        for (const QStringList &problem : problems)
            std::printf("%s: %s\n", qPrintable(problem.at(0)), qPrintable(problem.at(1)));
    }
    std::fflush(stdout);
    return problems.isEmpty() ? ToolSupport::ExitSuccess : ToolSupport::ExitProblem;
}

} // namespace SchedctlRules
