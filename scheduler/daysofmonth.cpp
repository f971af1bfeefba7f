#include "daysofmonth.h"

#include "rulesplace.h"
#include "windowrule.h"
#include "xmllist.h"

using Orvel::TraceLine;
using Orvel::XmlList;

namespace {

const TimeWindow::Texts kTexts = {"daysofmonth", "Get next start time following"};

bool readsTrue(const XmlList &list, const QString &key, const RulesPlace &place)
{
    bool flag = false;
    return place.read(list, key, flag) && flag;
}

} // namespace

DaysOfMonth::DaysOfMonth(const XmlList &body, const RulesPlace &place)
{
    if (body.isEmpty())
        return;
    XmlList monthlyDays;
    if (place.read(body, QStringLiteral("MonthlyDays"), monthlyDays)) {
        const RulesPlace inList = place.inside(QStringLiteral("MonthlyDays"));
        for (int day = 1; day <= 31; ++day)
            m_days.set(size_t(day), readsTrue(monthlyDays, QString::number(day), inList));
        m_lastDay = readsTrue(monthlyDays, QStringLiteral("Last"), inList);
    }
    m_window = TimeWindow::read(body, place);
    m_valid = m_days.any() || m_lastDay;
    // An invalid rule writes no line of its own: the schedule element names it.
    if (m_valid)
        traceDays();
    else
        place.report(RulesReport::Reason::NoDayChosen, QString(), QStringLiteral("MonthlyDays"));
}

void DaysOfMonth::traceDays() const
{
    const QTime from = m_window.startTime();
    const QTime to = m_window.lastSecond();
    for (int day = 1; day <= 31; ++day) {
        if (m_days.test(size_t(day)))
            TraceLine(3, "daysofmonth", __LINE__)
                << "Month day:" << day << "From" << from << "To" << to;
    }
    if (m_lastDay)
        TraceLine(3, "daysofmonth", __LINE__) << "Month day:"
                                              << "Last"
                                              << "From" << from << "To" << to;
}

bool DaysOfMonth::matches(const QDate &day) const
{
    return m_days.test(size_t(day.day())) || (m_lastDay && day.day() == day.daysInMonth());
}

QDateTime DaysOfMonth::nextStartTime(const QDateTime &from) const
{
    if (!m_valid)
        return QDateTime();
    if (!from.isValid()) {
        TraceLine(2, "daysofmonth", __LINE__) << "Cannot get next start time for invalid time";
        return QDateTime();
    }
    return m_window.nextStart(
        from, [this](const QDate &day) { return matches(day); }, kTexts);
}

WindowRule<DaysOfMonth> DaysOfMonth::windows() const
{
    return WindowRule<DaysOfMonth>(*this, kTexts.file,
                                   "Cannot get next run time for invalid DaysOfMonth");
}

QDateTime DaysOfMonth::nextRunTime(const QDateTime &from, bool includeOpenWindow) const
{
    return windows().nextRunTime(from, includeOpenWindow);
}

bool DaysOfMonth::contains(const QDateTime &t) const
{
    return windows().contains(t);
}

QDateTime DaysOfMonth::moveOutside(const QDateTime &t, SearchBudget *budget) const
{
    return windows().moveOutside(t, budget);
}
