#pragma once

#include "scheduleelement.h"

#include <QString>
#include <QStringList>

class Schedule;

// What fires a schedule, in words for operators: "trigger 1: Monday to Friday
// 22:00 window", "objective: every 4 hours", "fallback 1 for the objective:
// every day, all day", and where an exclusion moved the trigger's time,
// "trigger 1 (moved by exclusion 2): every day 08:00 window" or "fallback 1
// (trigger 1 excluded by exclusion 2): Saturday 06:00 window". Elements are
// counted from 1, within their role, in the order the schedule holds them
// (the objective is the last trigger). The words of every trigger and
// fallback are made once, so that naming the reason for each of many
// firings costs a look-up.
class ReasonWords
{
public:
    explicit ReasonWords(const Schedule &schedule);

    // The reason for a firing that trigger `trigger` decided, through
    // fallback `fallback` (indexes from 0, -1 for none), after the
    // exclusions `excludedBy` covered the trigger's own time; "-" for none.
    QString firing(int trigger, int fallback, const QList<int> &excludedBy = {}) const;

    // The position of the objective's repeat period among the triggers; -1 for none.
    int objective() const { return m_objective; }

    // The time rule of `element` alone: "every day, all day",
    // "1st, 15th and last day of the month 23:00 window".
    static QString rule(const ScheduleElement &element);

private:
    // "trigger 2", "the objective".
    QString triggerName(int index) const;
    // "exclusion 2", "exclusions 1 and 3".
    static QString exclusions(const QList<int> &indexes);

    QStringList m_triggerRules;
    QStringList m_fallbackRules;
    int m_objective = -1; // the trigger that is the objective's repeat period
};
