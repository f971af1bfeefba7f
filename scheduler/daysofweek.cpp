#include "daysofweek.h"

#include "windowrule.h"
#include "xmllist.h"

using Orvel::TraceLine;
using Orvel::XmlList;

namespace {

const char *const kDayNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                 "Friday", "Saturday", "Sunday"};
const char *const kWeekNames[] = {"First", "Second", "Third", "Fourth", "Fifth"};

const TimeWindow::Texts kTexts = {"daysofweek", "Get next start time following "};

bool readsTrue(const XmlList &list, const char *key)
{
    bool flag = false;
    return list.get(flag, QString::fromLatin1(key)) && flag;
}

// Sets flag n (from 1) when the bool names[n - 1] of `list` is true, and all
// of them when "All" is true or the list is missing; answers whether any is set.
template<size_t Bits, size_t Count>
bool readChoices(const XmlList &list, bool listed, const char *const (&names)[Count],
                 std::bitset<Bits> &flags)
{
    const bool all = !listed || readsTrue(list, "All");
    for (size_t i = 0; i < Count; ++i)
        flags[i + 1] = all || readsTrue(list, names[i]);
    return flags.any();
}

} // namespace

DaysOfWeek::DaysOfWeek(const XmlList &body)
{
    if (body.isEmpty())
        return;
    XmlList weekDays;
    bool daysChosen = false;
    bool weeksChosen = false;
    if (body.get(weekDays, QStringLiteral("WeekDays"))) {
        daysChosen = readDays(weekDays);
        weeksChosen = readWeeks(weekDays);
    }
    window = TimeWindow::read(body);
    valid = daysChosen && weeksChosen;
    if (valid)
        traceDays();
    else
        TraceLine(2, "daysofweek", __LINE__) << "Invalid Week days schedule element";
}

// Deliberate choice: a "WeekDays" list without a "Days" list means every day
// of the week and counts as a choice, so "every day in the first week" needs
// no list of seven flags. An explicit list must still choose a day.
bool DaysOfWeek::readDays(const XmlList &weekDays)
{
    XmlList list;
    const bool listed = weekDays.get(list, QStringLiteral("Days"));
    return readChoices(list, listed, kDayNames, days);
}

// Deliberate choice, as for the days: without a "WeekNumbers" list every week
// of the month (1 to 5) is chosen, and that counts as a choice.
bool DaysOfWeek::readWeeks(const XmlList &weekDays)
{
    XmlList list;
    const bool listed = weekDays.get(list, QStringLiteral("WeekNumbers"));
    lastWeek = readsTrue(list, "Last");
    return readChoices(list, listed, kWeekNames, weeks) || lastWeek;
}

void DaysOfWeek::traceDays() const
{
    for (int day = 1; day <= 7; ++day) {
        if (!days.test(size_t(day)))
            continue;
        TraceLine line(3, "daysofweek", __LINE__);
        line << "Day:" << kDayNames[day - 1] << "Weeks";
        for (int week = 1; week <= 5; ++week)
            line << (weeks.test(size_t(week)) ? QString::number(week) : QString());
        line << (lastWeek ? "Last" : "") << "From" << window.startTime() << "to"
             << window.lastSecond();
    }
}

bool DaysOfWeek::matches(const QDate &day) const
{
    if (!days.test(size_t(day.dayOfWeek())))
        return false;
    const int weekOfMonth = (day.day() + 6) / 7;
    const bool inLastWeek = day.day() > day.daysInMonth() - 7;
    return weeks.test(size_t(weekOfMonth)) || (lastWeek && inLastWeek);
}

QDateTime DaysOfWeek::nextStartTime(const QDateTime &from) const
{
    if (!valid) {
        TraceLine(2, "daysofweek", __LINE__) << "Cannot get next start time for invalid DaysOfWeek";
        return QDateTime();
    }
    if (!from.isValid()) {
        TraceLine(2, "daysofweek", __LINE__) << "Cannot get next start time for invalid time";
        return QDateTime();
    }
    return window.nextStart(
        from, [this](const QDate &day) { return matches(day); }, kTexts);
}

WindowRule<DaysOfWeek> DaysOfWeek::windows() const
{
    return WindowRule<DaysOfWeek>(*this, kTexts.file,
                                  "Cannot get next run time for invalid DaysOfWeek");
}

QDateTime DaysOfWeek::nextRunTime(const QDateTime &from, bool includeOpenWindow) const
{
    return windows().nextRunTime(from, includeOpenWindow);
}

bool DaysOfWeek::contains(const QDateTime &t) const
{
    return windows().contains(t);
}

QDateTime DaysOfWeek::moveOutside(const QDateTime &t, SearchBudget *budget) const
{
    return windows().moveOutside(t, budget);
}
