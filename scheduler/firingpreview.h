#pragma once

#include "schedule.h"

#include <QDateTime>
#include <QList>
#include <QString>

// What the scheduler would fire from a given instant on, worked out without a
// timer: the rule set is loaded as the scheduler loads it, and each firing is
// taken exactly on time, with the frozen clock standing at the occurrence when
// the schedule is marked, as it would in the scheduler's timer loop. No store
// is read or written. Every search is recorded, so that each firing tells
// what excluded its trigger. schedctl's preview and the rules fuzz target
// share it.
class FiringPreview
{
public:
    struct PlannedFiring
    {
        QString schedule;
        QDateTime at; // invalid when nothing fires any more
        int triggerIndex = -1;
        int fallbackIndex = -1;
        int position = -1; // of the schedule in schedules()
        // The exclusions that covered the time the trigger first offered
        // (SearchRecord::excludedBy()).
        QList<int> excludedBy;
    };

    // Freezes the clock at `from` and loads rule set `ruleSet`.
    FiringPreview(quint32 ruleSet, const QDateTime &from);

    // Keeps only the schedules named `name`; false when there is none.
    bool keepOnly(const QString &name);
    const QList<Schedule> &schedules() const { return m_list; }

    // Fires the schedule due first (ties go to the name that sorts first)
    // and moves the clock to its occurrence.
    PlannedFiring fireNext();

private:
    QList<Schedule> m_list;
    // Beside each schedule, what excluded the trigger of its next occurrence.
    QList<QList<int>> m_excludedBy;
    SearchRecord m_record;
};
