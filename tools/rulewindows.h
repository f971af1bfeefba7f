#pragma once

#include <QDateTime>
#include <QList>

class ScheduleElement;

// The windows of a schedule element's time rule that meet a range of time:
// when a trigger or a fallback may fire, when an exclusion holds. Asked of
// the rule's own nextStartTime() and duration(), the answers its search uses,
// so a picture cannot show other windows than the scheduler sees. A repeat
// period and a manual trigger have none.
class RuleWindows
{
public:
    struct Span
    {
        QDateTime start;
        QDateTime end; // excluded
    };

    // The windows of `element` within [from, end), clipped to it, in order;
    // windows that touch or overlap are one span.
    static QList<Span> within(const ScheduleElement &element, const QDateTime &from,
                              const QDateTime &end);
};
