#include "daysofweek.h"

#include "rulesplace.h"
#include "windowrule.h"
#include "xmllist.h"

using Orvel::TraceLine;
using Orvel::XmlList;

namespace {

const char *const kDayNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                 "Friday", "Saturday", "Sunday"};
const char *const kWeekNames[] = {"First", "Second", "Third", "Fourth", "Fifth"};

const TimeWindow::Texts kTexts = {"daysofweek", "Get next start time following "};

bool readsTrue(const XmlList &list, const char *key, const RulesPlace &place)
{
    bool flag = false;
    return place.read(list, QString::fromLatin1(key), flag) && flag;
}

// Reads the list `key` of "WeekDays" ("Days" or "WeekNumbers") into `list`;
// `listed` tells whether it is there. False when an entry of that name is
// there but is not a list: a text such as <Days>Monday</Days>, or <Days/>.
bool readChoiceList(const XmlList &weekDays, const char *key, const RulesPlace &place,
                    XmlList &list, bool &listed)
{
    const QString name = QString::fromLatin1(key);
    listed = weekDays.get(list, name);
    if (listed || !weekDays.contains(name))
        return true;
    place.refused(name, "list");
    return false;
}

// Sets flag n (from 1) when the bool names[n - 1] of `list` is true, and all
// of them when "All" is true or the list is missing; answers whether any is set.
template<size_t Bits, size_t Count>
bool readChoices(const XmlList &list, bool listed, const char *const (&names)[Count],
                 std::bitset<Bits> &flags, const RulesPlace &place)
{
    const bool all = !listed || readsTrue(list, "All", place);
    for (size_t i = 0; i < Count; ++i)
        flags[i + 1] = all || readsTrue(list, names[i], place);
    return flags.any();
}

} // namespace

DaysOfWeek::DaysOfWeek(const XmlList &body, const RulesPlace &place)
{
    if (body.isEmpty())
        return;
    XmlList weekDays;
    bool daysChosen = false;
    bool weeksChosen = false;
    if (place.read(body, QStringLiteral("WeekDays"), weekDays)) {
        const RulesPlace inWeekDays = place.inside(QStringLiteral("WeekDays"));
        daysChosen = readDays(weekDays, inWeekDays);
        weeksChosen = readWeeks(weekDays, inWeekDays);
    }
    m_window = TimeWindow::read(body, place);
    m_valid = daysChosen && weeksChosen;
    if (m_valid) {
        traceDays();
    } else {
        TraceLine(2, "daysofweek", __LINE__) << "Invalid Week days schedule element";
        place.report(RulesReport::Reason::NoDayChosen, QString(), QStringLiteral("WeekDays"));
    }
}

// Deliberate choice: a "WeekDays" list without a "Days" list means every day
// of the week and counts as a choice, so "every day in the first week" needs
// no list of seven flags. An explicit list must still choose a day, and an
// entry "Days" that is not a list chooses none: a mistyped rule must never
// turn into "every day".
bool DaysOfWeek::readDays(const XmlList &weekDays, const RulesPlace &place)
{
    XmlList list;
    bool listed = false;
    return readChoiceList(weekDays, "Days", place, list, listed) &&
           readChoices(list, listed, kDayNames, m_days, place.inside(QStringLiteral("Days")));
}

// Deliberate choice, as for the days: without a "WeekNumbers" list every week
// of the month (1 to 5) is chosen, and that counts as a choice; an entry
// "WeekNumbers" that is not a list chooses none.
bool DaysOfWeek::readWeeks(const XmlList &weekDays, const RulesPlace &place)
{
    XmlList list;
    bool listed = false;
    if (!readChoiceList(weekDays, "WeekNumbers", place, list, listed))
        return false;
    const RulesPlace inList = place.inside(QStringLiteral("WeekNumbers"));
    const bool chosen = readChoices(list, listed, kWeekNames, m_weeks, inList);
    m_lastWeek = readsTrue(list, "Last", inList);
    return chosen || m_lastWeek;
}

void DaysOfWeek::traceDays() const
{
    for (int day = 1; day <= 7; ++day) {
        if (!m_days.test(size_t(day)))
            continue;
        TraceLine line(3, "daysofweek", __LINE__);
        line << "Day:" << kDayNames[day - 1] << "Weeks";
        for (int week = 1; week <= 5; ++week)
            line << (m_weeks.test(size_t(week)) ? QString::number(week) : QString());
        line << (m_lastWeek ? "Last" : "") << "From" << m_window.startTime() << "to"
             << m_window.lastSecond();
    }
}

bool DaysOfWeek::matches(const QDate &day) const
{
    if (!m_days.test(size_t(day.dayOfWeek())))
        return false;
    // Each of day() and daysInMonth() works the whole date out: asked only as needed.
    const int dayOfMonth = day.day();
    if (m_weeks.test(size_t((dayOfMonth + 6) / 7)))
        return true;
    return m_lastWeek && dayOfMonth > day.daysInMonth() - 7;
}

QDateTime DaysOfWeek::nextStartTime(const QDateTime &from) const
{
    if (!m_valid) {
        TraceLine(2, "daysofweek", __LINE__) << "Cannot get next start time for invalid DaysOfWeek";
        return QDateTime();
    }
    if (!from.isValid()) {
        TraceLine(2, "daysofweek", __LINE__) << "Cannot get next start time for invalid time";
        return QDateTime();
    }
    return m_window.nextStart(
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
