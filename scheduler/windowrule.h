#pragma once

#include "searchbudget.h"
#include "trace.h"
#include "walltime.h"

#include <QDateTime>

// The answers that every rule with windows (DaysOfWeek, DaysOfMonth,
// Calendar) gives alike, built on the rule's own isValid(), duration() and
// nextStartTime(). A short-lived view: it refers to the rule it was made for.
template<typename Rule> class WindowRule
{
public:
    // Hopping out of back-to-back windows stops after this many moves: daily
    // windows that cover a whole year leave no instant outside worth waiting for.
    static constexpr int kMaxMoves = 365;

    // `file` names the rule's source file in trace lines; `refusal` is the
    // rule's line for a run time asked of it while it is invalid.
    WindowRule(const Rule &rule, const char *file, const char *refusal)
        : m_rule(rule)
        , m_file(file)
        , m_refusal(refusal)
    {}

    // The next window start after `from`, or `from` itself when
    // `includeOpenWindow` is set and a window opened earlier is still open.
    [[nodiscard]] QDateTime nextRunTime(const QDateTime &from, bool includeOpenWindow) const;
    // The first instant at or after `t` that lies in no window. Each window
    // hopped takes a step of `budget`, when given; none is the answer once
    // it is spent.
    [[nodiscard]] QDateTime moveOutside(const QDateTime &t, SearchBudget *budget = nullptr) const;
    bool contains(const QDateTime &t) const;

private:
    QDateTime openOrNextStart(const QDateTime &from) const;

    const Rule &m_rule;
    const char *m_file;
    const char *m_refusal;
};

template<typename Rule>
QDateTime WindowRule<Rule>::nextRunTime(const QDateTime &from, bool includeOpenWindow) const
{
    if (!m_rule.isValid()) {
        Orvel::TraceLine(2, m_file, __LINE__) << m_refusal;
        return QDateTime();
    }
    if (!from.isValid()) {
        Orvel::TraceLine(2, m_file, __LINE__) << "Cannot get next run time for invalid time";
        return QDateTime();
    }
    const QDateTime answer = includeOpenWindow ? openOrNextStart(from) : m_rule.nextStartTime(from);
    if (answer.isValid())
        Orvel::TraceLine(3, m_file, __LINE__) << "Next run time" << answer;
    else
        Orvel::TraceLine(2, m_file, __LINE__) << "No next time available from" << from;
    return answer;
}

template<typename Rule> QDateTime WindowRule<Rule>::openOrNextStart(const QDateTime &from) const
{
    const qint64 duration = m_rule.duration();
    const QDateTime start = m_rule.nextStartTime(Orvel::WallTime::after(from, -duration * 1000));
    if (!start.isValid() || start >= from)
        return start;
    // A window that ends exactly at `from` is no longer open.
    return Orvel::WallTime::after(start, duration * 1000) > from ? from
                                                                 : m_rule.nextStartTime(from);
}

template<typename Rule>
QDateTime WindowRule<Rule>::moveOutside(const QDateTime &t, SearchBudget *budget) const
{
    Orvel::TraceLine(3, m_file, __LINE__) << "moveOutside(" << t << ")";
    const qint64 duration = m_rule.duration();
    QDateTime answer;
    if (duration == 0) {
        answer = t.addSecs(1);
    } else {
        QDateTime current = t;
        for (int moves = 1; moves < kMaxMoves && (!budget || budget->take()); ++moves) {
            const QDateTime start =
                m_rule.nextStartTime(Orvel::WallTime::after(current, -duration * 1000));
            if (!start.isValid() || start > current) {
                answer = current;
                break;
            }
            current = Orvel::WallTime::after(start, (duration + 1) * 1000);
        }
    }
    Orvel::TraceLine(3, m_file, __LINE__) << "Moved" << t << "outside to" << answer;
    return answer;
}

template<typename Rule> bool WindowRule<Rule>::contains(const QDateTime &t) const
{
    const bool inside = t.isValid() && nextRunTime(t, true) == t;
    Orvel::TraceLine(3, m_file, __LINE__)
        << "Element" << (inside ? "contains" : "doesn't contain") << t;
    return inside;
}
