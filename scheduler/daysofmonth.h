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

// The month-day rule: one window a day on chosen days of the month (the 1st
// and the 15th, the last day). Read from a "MonthlyDays" list of bools named
// "1" to "31" and "Last", beside "Time" and "Duration". A day that a month
// lacks is not moved: day 31 occurs only in months of 31 days; only "Last"
// follows the month's length.
class DaysOfMonth
{
public:
    // `place` names the element in trace lines about entries of the wrong shape.
    explicit DaysOfMonth(const Orvel::XmlList &body, const RulesPlace &place = RulesPlace());

    bool isValid() const { return m_valid; }
    quint32 duration() const { return m_window.duration(); }
    TimeWindow timeWindow() const { return m_window; }
    // Whether day `day` (1 to 31) of the month is chosen.
    bool onDay(int day) const { return day >= 1 && day <= 31 && m_days.test(size_t(day)); }
    bool onLastDay() const { return m_lastDay; }

    // The first window start at or after `from`, within a year; none if none.
    [[nodiscard]] QDateTime nextStartTime(const QDateTime &from) const;
    [[nodiscard]] QDateTime nextRunTime(const QDateTime &from, bool includeOpenWindow) const;
    bool contains(const QDateTime &t) const;
    [[nodiscard]] QDateTime moveOutside(const QDateTime &t, SearchBudget *budget = nullptr) const;

private:
    void traceDays() const;
    bool matches(const QDate &day) const;
    WindowRule<DaysOfMonth> windows() const;

    bool m_valid = false;
    TimeWindow m_window;
    std::bitset<32> m_days; // 1 to 31, the day of the month
    bool m_lastDay = false;
};
