#include "rulewindows.h"

#include "calendar.h"
#include "daysofmonth.h"
#include "daysofweek.h"
#include "scheduleelement.h"

#include <algorithm>

namespace {

using Span = RuleWindows::Span;

template<typename Rule>
QList<Span> spans(const Rule &rule, const QDateTime &from, const QDateTime &end)
{
    QList<Span> found;
    if (!rule.isValid())
        return found;
    const qint64 duration = rule.duration();
    // The search starts one window's length early, for a window open at `from`.
    const QDateTime early = from.addSecs(-duration);
    // A rule opens at most one window a day, so a range meets no more windows
    // than the days it touches.
    const qint64 bound = early.daysTo(end) + 2;
    QDateTime start = rule.nextStartTime(early);
    for (qint64 n = 0; n < bound && start.isValid() && start < end; ++n) {
        const QDateTime stop = start.addSecs(std::max<qint64>(duration, 1));
        if (stop > from && !found.isEmpty() && start <= found.last().end)
            found.last().end = std::max(found.last().end, stop);
        else if (stop > from)
            found.append({start, stop});
        start = rule.nextStartTime(start.addSecs(1));
    }
    for (Span &span : found) {
        span.start = std::max(span.start, from);
        span.end = std::min(span.end, end);
    }
    return found;
}

} // namespace

QList<Span> RuleWindows::within(const ScheduleElement &element, const QDateTime &from,
                                const QDateTime &end)
{
    if (const auto *rule = element.rule<DaysOfWeek>())
        return spans(*rule, from, end);
    if (const auto *rule = element.rule<DaysOfMonth>())
        return spans(*rule, from, end);
    if (const auto *rule = element.rule<Calendar>())
        return spans(*rule, from, end);
    return {};
}
