#include "reasonwords.h"

#include "calendar.h"
#include "daysofmonth.h"
#include "daysofweek.h"
#include "repeatperiod.h"
#include "schedule.h"

#include <QFileInfo>

namespace {

const char *const kDayNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                 "Friday", "Saturday", "Sunday"};
const char *const kWeekOrdinals[] = {"first", "second", "third", "fourth", "fifth"};
const char *const kUnitWords[] = {"second", "minute", "hour", "day", "week", "month", "year"};
constexpr quint32 kWholeDay = 86400;

// "a", "a and b", "a, b and c".
QString listed(const QStringList &items)
{
    if (items.size() < 2)
        return items.value(0);
    return items.mid(0, items.size() - 1).join(QLatin1String(", ")) + QLatin1String(" and ") +
           items.last();
}

// "1st", "2nd", "3rd", "11th", "22nd".
QString ordinal(int n)
{
    const bool teen = n % 100 >= 11 && n % 100 <= 13;
    const int last = n % 10;
    const char *suffix = teen        ? "th"
                         : last == 1 ? "st"
                         : last == 2 ? "nd"
                         : last == 3 ? "rd"
                                     : "th";
    return QString::number(n) + QLatin1String(suffix);
}

// ", all day" or " 22:00 window": the daily window after the days it is on.
QString window(const QTime &start, quint32 duration)
{
    if (start == QTime(0, 0) && duration >= kWholeDay)
        return QStringLiteral(", all day");
    const QString format =
        start.second() != 0 ? QStringLiteral("hh:mm:ss") : QStringLiteral("hh:mm");
    return QLatin1Char(' ') + start.toString(format) + QLatin1String(" window");
}

// "Monday to Friday", "Monday, Wednesday and Friday": three days or more in a
// row read as a range.
QString chosenDays(const DaysOfWeek &rule)
{
    QStringList parts;
    for (int day = 1; day <= 7; ++day) {
        if (!rule.onDay(day))
            continue;
        int last = day;
        while (last < 7 && rule.onDay(last + 1))
            ++last;
        if (last - day >= 2) {
            parts << QStringLiteral("%1 to %2")
                         .arg(QLatin1String(kDayNames[day - 1]),
                              QLatin1String(kDayNames[last - 1]));
        } else {
            for (int each = day; each <= last; ++each)
                parts << QLatin1String(kDayNames[each - 1]);
        }
        day = last;
    }
    return listed(parts);
}

// "Monday to Friday", "every day", "last Friday of the month", "every day of
// the first week of the month".
QString daysOfWeek(const DaysOfWeek &rule)
{
    bool everyDay = true;
    for (int day = 1; day <= 7; ++day)
        everyDay = everyDay && rule.onDay(day);
    QStringList weeks;
    for (int week = 1; week <= 5; ++week) {
        if (rule.inWeek(week))
            weeks << QLatin1String(kWeekOrdinals[week - 1]);
    }
    const QString days = everyDay ? QStringLiteral("every day") : chosenDays(rule);
    if (weeks.size() == 5)
        return days;
    if (rule.inLastWeek())
        weeks << QStringLiteral("last");
    return everyDay ? QStringLiteral("every day of the %1 week of the month").arg(listed(weeks))
                    : QStringLiteral("%1 %2 of the month").arg(listed(weeks), days);
}

// "1st, 15th and last day of the month", "every day of the month".
QString daysOfMonth(const DaysOfMonth &rule)
{
    QStringList days;
    for (int day = 1; day <= 31; ++day) {
        if (rule.onDay(day))
            days << ordinal(day);
    }
    if (days.size() == 31)
        return QStringLiteral("every day of the month");
    if (rule.onLastDay())
        days << QStringLiteral("last");
    return listed(days) + QLatin1String(" day of the month");
}

// "dates in holidays.cfg, all day": the window is the one of the listed dates.
QString calendar(const Calendar &rule)
{
    const QString file = QFileInfo(rule.calendarFile()).fileName();
    const QList<QDateTime> starts = rule.windowStarts();
    if (starts.isEmpty())
        return QStringLiteral("no dates in %1").arg(file);
    return QStringLiteral("dates in %1").arg(file) + window(starts.first().time(), rule.duration());
}

// "every 5 seconds", "every month".
QString period(const RepeatPeriod &rule)
{
    const quint32 unit = rule.periodUnit();
    if (unit < RepeatPeriod::Seconds || unit > RepeatPeriod::Years)
        return QString();
    const QLatin1String word(kUnitWords[unit - 1]);
    return rule.periodCount() == 1
               ? QStringLiteral("every %1").arg(word)
               : QStringLiteral("every %1 %2s").arg(rule.periodCount()).arg(word);
}

} // namespace

ReasonWords::ReasonWords(const Schedule &schedule)
{
    const QList<ScheduleElement> triggers = schedule.elements(ScheduleElement::Role::Trigger);
    for (int i = 0; i < triggers.size(); ++i) {
        m_triggerRules << rule(triggers.at(i));
        if (triggers.at(i).kind() == ScheduleElement::Kind::RepeatPeriod)
            m_objective = i;
    }
    for (const ScheduleElement &fallback : schedule.elements(ScheduleElement::Role::Fallback))
        m_fallbackRules << rule(fallback);
}

QString ReasonWords::firing(int trigger, int fallback, const QList<int> &excludedBy) const
{
    if (trigger < 0 || trigger >= m_triggerRules.size())
        return QStringLiteral("-");
    const QString moved = exclusions(excludedBy);
    if (fallback < 0 || fallback >= m_fallbackRules.size()) {
        const QString name = trigger == m_objective ? QStringLiteral("objective")
                                                    : QStringLiteral("trigger %1").arg(trigger + 1);
        return moved.isEmpty() ? QStringLiteral("%1: %2").arg(name, m_triggerRules.at(trigger))
                               : QStringLiteral("%1 (moved by %2): %3")
                                     .arg(name, moved, m_triggerRules.at(trigger));
    }
    return moved.isEmpty() ? QStringLiteral("fallback %1 for %2: %3")
                                 .arg(fallback + 1)
                                 .arg(triggerName(trigger), m_fallbackRules.at(fallback))
                           : QStringLiteral("fallback %1 (%2 excluded by %3): %4")
                                 .arg(fallback + 1)
                                 .arg(triggerName(trigger), moved, m_fallbackRules.at(fallback));
}

QString ReasonWords::exclusions(const QList<int> &indexes)
{
    QStringList numbers;
    for (int index : indexes)
        numbers << QString::number(index + 1);
    if (numbers.isEmpty())
        return QString();
    return QLatin1String(numbers.size() == 1 ? "exclusion " : "exclusions ") + listed(numbers);
}

QString ReasonWords::triggerName(int index) const
{
    return index == m_objective ? QStringLiteral("the objective")
                                : QStringLiteral("trigger %1").arg(index + 1);
}

QString ReasonWords::rule(const ScheduleElement &element)
{
    if (const auto *rule = element.rule<DaysOfWeek>())
        return daysOfWeek(*rule) + window(rule->timeWindow().startTime(), rule->duration());
    if (const auto *rule = element.rule<DaysOfMonth>())
        return daysOfMonth(*rule) + window(rule->timeWindow().startTime(), rule->duration());
    if (const auto *rule = element.rule<Calendar>())
        return calendar(*rule);
    if (const auto *rule = element.rule<RepeatPeriod>())
        return period(*rule);
    if (element.kind() == ScheduleElement::Kind::ManualTrigger)
        return QStringLiteral("manual \"%1\"").arg(element.activationName());
    return QString();
}
