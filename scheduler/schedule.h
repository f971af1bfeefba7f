#pragma once

#include "xmllist.h"

#include <QDateTime>
#include <QString>

// One timetable of one operation of a policy: when it fires next, what it
// sends and where. The schedule list keeps these by value, ordered by next
// occurrence.
class Schedule
{
public:
    Schedule() = default;
    explicit Schedule(const QString &name);

    QString name() const { return scheduleName; }
    QDateTime nextOccurrence() const { return next; }
    QDateTime lastOccurrence() const { return last; }
    void setNextOccurrence(const QDateTime &instant) { next = instant; }

    void setScheduleData(const Orvel::XmlList &data) { scheduleData = data; }
    void setTriggerTarget(const Orvel::XmlList &target) { targetData = target; }
    // The body of "SchedulerEventPost" for this occurrence.
    Orvel::XmlList eventData() const;
    // Where and how a firing goes ("SchedulerTriggerService", ...).
    Orvel::XmlList triggerTarget() const { return targetData; }

    // Records a firing at `firedAt` and moves to the next occurrence. A
    // schedule without time rules has none after it.
    void markOccurred(const QDateTime &firedAt);

    // A valid next occurrence before an invalid one, earlier first, equal
    // times by name.
    bool operator<(const Schedule &other) const;

private:
    QString scheduleName;
    QDateTime next;
    QDateTime last;
    Orvel::XmlList scheduleData;
    Orvel::XmlList targetData;
};
