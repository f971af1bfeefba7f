// schedctl check: loads the rule set through the scheduler's own code with a
// report attached (rulesreport.h), and prints what it found: first what the
// scheduler skips, which makes the answer a problem, then the notes, which
// it uses but traces as a fault. Every reason's words stand in this file.

#include "schedctlrules.h"

#include "fixedpath.h"
#include "manualtrigger.h"
#include "policyparser.h"
#include "rulesetloader.h"
#include "toolsupport.h"

#include <QJsonArray>
#include <QList>
#include <QStringList>

#include <cstdio>

using namespace Orvel;
using Reason = RulesReport::Reason;
using Finding = RulesReport::Finding;

namespace {

// A reason's name in the JSON and tab-separated forms, kept stable for
// scripts, and its words for people, with %1 standing for the detail.
struct ReasonText
{
    const char *code;
    QString words;
};

ReasonText textOf(Reason reason)
{
    switch (reason) {
    case Reason::FileUnreadable:
        return {"fileUnreadable", QStringLiteral("cannot be read: %1")};
    case Reason::FileEmpty:
        return {"fileEmpty", QStringLiteral("holds no entries")};
    case Reason::FileNameRefused:
        return {"fileNameRefused", QStringLiteral("names a file whose name %1: it is not read")};
    case Reason::PassedOver:
        return {"passedOver", QStringLiteral("not a %1: passed over")};
    case Reason::RuleRefused:
        return {"ruleRefused", QStringLiteral("not a %1: its rule is refused")};
    case Reason::RemoteNodeWithoutPolicies:
        return {"remoteNodeWithoutPolicies",
                QStringLiteral("no Policies list: the node adds no policy")};
    case Reason::PolicyWithoutFirstRule:
        return {"policyWithoutFirstRule",
                QStringLiteral("no FirstRule number: the policy is skipped")};
    case Reason::ScheduleNameTooLong:
        return {"scheduleNameTooLong",
                QStringLiteral("a schedule name of %1 characters, more than %2: the operation is "
                               "skipped")
                    .arg(QLatin1String("%1"))
                    .arg(PolicyParser::kMaxScheduleNameLength)};
    case Reason::ObjectiveUnusable:
        return {"objectiveUnusable", QStringLiteral("'%1' is no recovery point objective such as "
                                                    "'4 Hours': not used")};
    case Reason::OperationWithoutTiming:
        return {"operationWithoutTiming",
                QStringLiteral("neither a usable schedule file nor a usable recovery point "
                               "objective: the operation is skipped")};
    case Reason::ScheduleFileUnusable:
        return {"scheduleFileUnusable",
                QStringLiteral("%1 gives no trigger: the file is not used")};
    case Reason::ElementWithoutType:
        return {"elementWithoutType", QStringLiteral("no Type: the element is skipped")};
    case Reason::ElementUnknownType:
        return {"elementUnknownType", QStringLiteral("the Type '%1' is none of Trigger, Exclude "
                                                     "and Fallback: the element is skipped")};
    case Reason::ElementWithoutRule:
        return {"elementWithoutRule",
                QStringLiteral("no time rule (Calendar, MonthlyDays, WeekDays or ManualTrigger): "
                               "the element is skipped")};
    case Reason::NoDayChosen:
        return {"noDayChosen", QStringLiteral("chooses no day: the element is skipped")};
    case Reason::CalendarWithoutDates:
        return {"calendarWithoutDates",
                QStringLiteral("no Calendar list of dates: the elements naming it are skipped")};
    case Reason::CalendarDateInvalid:
        return {"calendarDateInvalid",
                QStringLiteral("'%1' is no date yyyyMMdd: the date is skipped")};
    case Reason::NoActivationName:
        return {"noActivationName",
                QStringLiteral("no ActivationName text: the manual trigger is skipped")};
    case Reason::ActivationNameEmpty:
        return {"activationNameEmpty",
                QStringLiteral("an empty ActivationName: the manual trigger is skipped")};
    case Reason::ActivationNameTooLong:
        return {"activationNameTooLong",
                QStringLiteral("an ActivationName of %1 characters, more than %2: the manual "
                               "trigger is skipped")
                    .arg(QLatin1String("%1"))
                    .arg(ManualTrigger::kMaxNameLength)};
    case Reason::ObjectiveMissing:
        return {"objectiveMissing", QStringLiteral("no recovery point objective: the schedule "
                                                   "file alone times the operation")};
    }
    return {"", QString()};
}

QString words(const Finding &finding)
{
    const QString text = textOf(finding.reason).words;
    return text.contains(QLatin1String("%1")) ? text.arg(finding.detail) : text;
}

// The cells of a finding: file (relative to the rule set), element, policy,
// operation, the reason's words and its code.
QStringList cells(const Finding &finding, const QString &folder)
{
    const QString file =
        finding.file.startsWith(folder) ? finding.file.mid(folder.size()) : finding.file;
    return {file,           finding.element,
            finding.policy, finding.operation,
            words(finding), QLatin1String(textOf(finding.reason).code)};
}

QJsonArray jsonOf(const QList<QStringList> &rows)
{
    QJsonArray found;
    for (const QStringList &row : rows)
        found.append(QJsonObject{{"file", row.at(0)},
                                 {"element", row.at(1)},
                                 {"policy", row.at(2)},
                                 {"operation", row.at(3)},
                                 {"reason", row.at(4)},
                                 {"code", row.at(5)}});
    return found;
}

// File and reason first, as scripts have read them from the start, then
// `kind`, element, policy, operation and code.
QList<QStringList> tsvOf(const QList<QStringList> &rows, const char *kind)
{
    QList<QStringList> lines;
    for (const QStringList &row : rows)
        lines.append({row.at(0), row.at(4), QLatin1String(kind), row.at(1), row.at(2), row.at(3),
                      row.at(5)});
    return lines;
}

// A heading, then the findings as aligned columns; "-" for an empty cell.
void printSection(const char *heading, const QList<QStringList> &rows)
{
    if (rows.isEmpty())
        return;
    std::printf("\n%s\n", heading);
    QList<QStringList> table{{"FILE", "ELEMENT", "POLICY", "OPERATION", "WHY"}};
    for (QStringList row : rows) {
        row.removeLast();
        for (QString &cell : row) {
            if (cell.isEmpty())
                cell = QStringLiteral("-");
        }
        table.append(row);
    }
    ToolSupport::printAligned(table);
}

} // namespace

namespace SchedctlRules {

int check(quint32 ruleSet, Output output)
{
    RulesReport report;
    const int schedules = RuleSetLoader::load(ruleSet, nullptr, &report).size();
    const QString folder = FixedPath::rules(ruleSet) + QLatin1Char('/');
    QList<QStringList> skipped;
    QList<QStringList> notes;
    for (const Finding &finding : report.findings())
        (RulesReport::skips(finding.reason) ? skipped : notes).append(cells(finding, folder));
    if (output == Output::Json) {
        printJson({{"ruleSet", qint64(ruleSet)},
                   {"schedules", schedules},
                   {"problems", jsonOf(skipped)},
                   {"notes", jsonOf(notes)}});
    } else if (output == Output::Tsv) {
        printTsv(tsvOf(skipped, "skipped") + tsvOf(notes, "note"));
    } else {
        std::printf(
            "rule set %u: %s, %s, %s\n", ruleSet, qPrintable(counted(schedules, "schedule")),
            skipped.isEmpty() ? "nothing skipped"
                              : qPrintable(QStringLiteral("%1 skipped").arg(skipped.size())),
            notes.isEmpty() ? "no notes" : qPrintable(counted(notes.size(), "note")));
        printSection("Skipped: the scheduler does not use these", skipped);
        printSection("Notes: these are used, but the scheduler traces a fault", notes);
    }
    std::fflush(stdout);
    return skipped.isEmpty() ? ToolSupport::ExitSuccess : ToolSupport::ExitProblem;
}

} // namespace SchedctlRules
