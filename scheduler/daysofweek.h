#pragma once

#include "rulesplace.h"
#include "timewindow.h"

#include <QDateTime>

#include <bitset>

namespace Orvel {
class XmlList;
}
template<typename Rule> class WindowRule;
class SearchBudget;

// The week-day rule: one window a day on chosen week days, in chosen weeks
// of the month (the first and third Monday, every Friday, the last Sunday).
// Read from a "WeekDays" list with "Days" and "WeekNumbers" beside "Time" and
// "Duration". A plain value; every question is answered without state.
class DaysOfWeek
{
public:
    // `place` names the element in trace lines about entries of the wrong shape.
    explicit DaysOfWeek(const Orvel::XmlList &body, const RulesPlace &place = RulesPlace());

    bool isValid() const { return m_valid; }
    quint32 duration() const { return m_window.duration(); }
    TimeWindow timeWindow() const { return m_window; }
    // Whether day `dayOfWeek` (1 Monday to 7 Sunday) is chosen.
    bool onDay(int dayOfWeek) const
    {
        return dayOfWeek >= 1 && dayOfWeek <= 7 && m_days.test(size_t(dayOfWeek));
    }
    // Whether the `week`-th (1 to 5) such week day of the month is chosen.
    bool inWeek(int week) const { return week >= 1 && week <= 5 && m_weeks.test(size_t(week)); }
    bool inLastWeek() const { return m_lastWeek; }

    // The first window start at or after `from`, within a year; none if none.
    [[nodiscard]] QDateTime nextStartTime(const QDateTime &from) const;
    [[nodiscard]] QDateTime nextRunTime(const QDateTime &from, bool includeOpenWindow) const;
    bool contains(const QDateTime &t) const;
    [[nodiscard]] QDateTime moveOutside(const QDateTime &t, SearchBudget *budget = nullptr) const;

private:
    bool readDays(const Orvel::XmlList &weekDays, const RulesPlace &place);
    bool readWeeks(const Orvel::XmlList &weekDays, const RulesPlace &place);
    void traceDays() const;
    bool matches(const QDate &day) const;
    WindowRule<DaysOfWeek> windows() const;

    bool m_valid = false;
    TimeWindow m_window;
    std::bitset<8> m_days;  // 1 Monday to 7 Sunday, as QDate::dayOfWeek counts
    std::bitset<6> m_weeks; // 1 to 5: the n-th occurrence of a week day in its month
    bool m_lastWeek = false;
};
