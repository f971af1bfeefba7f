#include "schedule.h"

Schedule::Schedule(const QString &name)
    : scheduleName(name)
{}

Orvel::XmlList Schedule::eventData() const
{
    return scheduleData;
}

void Schedule::markOccurred(const QDateTime &firedAt)
{
    last = firedAt;
    next = QDateTime();
}

bool Schedule::operator<(const Schedule &other) const
{
    if (next.isValid() != other.next.isValid())
        return next.isValid();
    if (next.isValid() && next != other.next)
        return next < other.next;
    return scheduleName < other.scheduleName;
}
