#pragma once

#include <QList>
#include <QString>

// What the loading of a rule set found wrong, written beside its trace lines
// for the tools that tell an operator, so that they never read trace text.
// Each finding names the file (its path as the readers know it), the policy
// and operation it belongs to when there is one, the entry inside the file
// ("Policy[Gold]/Backup[1]/ScheduleFile", empty for the whole file), a reason
// and a detail (the text, number or cause the reason speaks of).
class RulesReport
{
public:
    // Reasons up to ObjectiveMissing skip something: a file, policy,
    // operation or element the scheduler will not use. The others are notes:
    // what they concern is used, but the scheduler traces a fault.
    enum class Reason
    {
        FileUnreadable,  // detail: why, from the file system or the XML reader
        FileEmpty,       // the file holds no entries
        FileNameRefused, // a file name that leaves the rule set; detail: why
        PassedOver,      // an entry in another shape; detail: the shape read
        RuleRefused,     // as PassedOver, and its rule is refused with it
        RemoteNodeWithoutPolicies,
        PolicyWithoutFirstRule,
        ScheduleNameTooLong,    // detail: the name's length
        ObjectiveUnusable,      // detail: the objective's text
        OperationWithoutTiming, // neither a usable schedule file nor objective
        ScheduleFileUnusable,   // the file gives the operation no trigger
        ElementWithoutType,
        ElementUnknownType, // detail: the type
        ElementWithoutRule,
        NoDayChosen,
        CalendarWithoutDates,
        CalendarDateInvalid, // detail: the date's text
        NoActivationName,
        ActivationNameEmpty,
        ActivationNameTooLong, // detail: its length
        // Notes from here on.
        ObjectiveMissing, // a schedule file runs without an objective
    };

    struct Finding
    {
        QString file;
        QString policy;
        QString operation;
        QString element;
        Reason reason = Reason::FileUnreadable;
        QString detail;
    };

    // Whether the scheduler leaves unused what a finding of `reason` names.
    static bool skips(Reason reason) { return reason < Reason::ObjectiveMissing; }

    void add(const Finding &finding) { m_findings.append(finding); }
    const QList<Finding> &findings() const { return m_findings; }

private:
    QList<Finding> m_findings;
};
