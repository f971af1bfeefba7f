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
            days.set(size_t(day), readsTrue(monthlyDays, QString::number(day), inList));
        lastDay = readsTrue(monthlyDays, QStringLiteral("Last"), inList);
    }
    window = TimeWindow::read(body, place);
    valid = days.any() || lastDay;
    // An invalid rule writes no line of its own: the schedule element names it.
    if (valid)
        traceDays();
}

void DaysOfMonth::traceDays() const
{
    const QTime from = window.startTime();
    const QTime to = window.lastSecond();
    for (int day = 1; day <= 31; ++day) {
        if (days.test(size_t(day)))
            TraceLine(3, "daysofmonth", __LINE__)
                << "Month day:" << day << "From" << from << "To" << to;
    }
    if (lastDay)
        TraceLine(3, "daysofmonth", __LINE__) << "Month day:"
                                              << "Last"
                                              << "From" << from << "To" << to;
}

bool DaysOfMonth::matches(const QDate &day) const
{
    return days.test(size_t(day.day())) || (lastDay && day.day() == day.daysInMonth());
}

QDateTime DaysOfMonth::nextStartTime(const QDateTime &from) const
{
    if (!valid)
        return QDateTime();
    if (!from.isValid()) {
        TraceLine(2, "daysofmonth", __LINE__) << "Cannot get next start time for invalid time";
        return QDateTime();
    }
    return window.nextStart(
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
