#include "repeatperiod.h"

#include "trace.h"
#include "walltime.h"

#include <limits>

using Orvel::TraceLine;

namespace {

const char *const kUnitNames[] = {"Seconds", "Minutes", "Hours", "Days",
                                  "Weeks",   "Months",  "Years"};

// The same date-time `months` calendar months later; a day the target month
// lacks becomes its last day, as QDate::addMonths does. Counted in 64 bits so
// that no count wraps; a year beyond what QDate holds gives none.
QDateTime addMonths(const QDateTime &from, qint64 months)
{
    const QDate date = from.date();
    // QDate has no year 0: count in astronomical years (1 BC is 0) meanwhile.
    const qint64 year = date.year() < 0 ? date.year() + 1 : date.year();
    const qint64 total = year * 12 + (date.month() - 1) + months;
    const qint64 astronomical = total >= 0 ? total / 12 : (total - 11) / 12;
    const int month = int(total - astronomical * 12) + 1;
    const qint64 targetYear = astronomical <= 0 ? astronomical - 1 : astronomical;
    if (targetYear > std::numeric_limits<int>::max())
        return QDateTime();
    const QDate first(int(targetYear), month, 1);
    const QDate target(int(targetYear), month, qMin(date.day(), first.daysInMonth()));
    return Orvel::WallTime::at(target, from.time());
}

QDateTime addDays(const QDateTime &from, qint64 days)
{
    return Orvel::WallTime::at(from.date().addDays(days), from.time());
}

} // namespace

RepeatPeriod::RepeatPeriod(Unit unit, quint32 count)
    : m_valid(count != 0 && unit != NoUnit)
    , m_count(count)
    , m_unit(unit)
{}

RepeatPeriod::RepeatPeriod(const Orvel::XmlList &)
{
    TraceLine(2, "repeatperiod", __LINE__)
        << "TODO: RepeatPeriod schedule elements cannot be definied in XML yet";
}

RepeatPeriod::Unit RepeatPeriod::unitFromName(QStringView name)
{
    for (quint32 code = Seconds; code <= Years; ++code) {
        if (name == QLatin1String(kUnitNames[code - 1]))
            return Unit(code);
    }
    return NoUnit;
}

QDateTime RepeatPeriod::nextRunTime(const QDateTime &from, bool includeOpenWindow) const
{
    QDateTime answer;
    if (!m_valid)
        TraceLine(2, "repeatperiod", __LINE__)
            << "Cannot get next run time for invalid RepeatPeriod";
    else if (!from.isValid())
        TraceLine(2, "repeatperiod", __LINE__) << "Cannot get next run time for invalid time";
    else
        answer = includeOpenWindow ? from : afterOnePeriod(from.toLocalTime());
    if (answer.isValid())
        TraceLine(3, "repeatperiod", __LINE__) << "Next run time" << answer;
    else
        TraceLine(2, "repeatperiod", __LINE__) << "No next time available from" << from;
    return answer;
}

// Deliberate choice: the period is worked out in 64 bits, so count x 60,
// x 3600, x 7 and x 12 never wrap for any 32-bit count; a sum that QDateTime
// cannot hold is none, with a line naming the period, rather than a time that
// silently lies in the past.
QDateTime RepeatPeriod::afterOnePeriod(const QDateTime &from) const
{
    const qint64 n = m_count;
    QDateTime answer;
    switch (m_unit) {
    case Seconds:
        answer = from.addSecs(n);
        break;
    case Minutes:
        answer = from.addSecs(n * 60);
        break;
    case Hours:
        answer = from.addSecs(n * 3600);
        break;
    case Days:
        answer = addDays(from, n);
        break;
    case Weeks:
        answer = addDays(from, n * 7);
        break;
    case Months:
        answer = addMonths(from, n);
        break;
    case Years:
        answer = addMonths(from, n * 12);
        break;
    case NoUnit:
        return QDateTime();
    }
    if (!answer.isValid() && m_unit <= Years)
        TraceLine(2, "repeatperiod", __LINE__)
            << "Period out of range:" << m_count << kUnitNames[m_unit - 1] << "from" << from;
    return answer;
}
