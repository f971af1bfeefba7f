#pragma once

#include <QDateTime>
#include <QList>

class Schedule;

// The decisions of a schedule's searches for its next occurrence, step by
// step in the order the search takes them. A schedule with a record
// attached (Schedule::setSearchRecord) fills it as it searches, so that an
// explanation shows what the scheduler decided and never a second guess.
// Elements are counted from 0 within their role. Steps about "the trigger"
// concern the one the last TriggerTime named; their `element` is -1.
class SearchRecord
{
public:
    enum class Step
    {
        SearchFrom,      // a search from `at` on: a trigger window open then offers `at` itself
        SearchAfter,     // a search for times after `at`
        TriggerTime,     // trigger `element` runs next at `at` (none: it offers no time)
        NotEarlier,      // that time is no earlier than the best so far: not looked at further
        Excluded,        // exclusion `element` covers `at` and moves it to `to` (none: no way out)
        InsideWindow,    // the moved time `at` is still in the trigger's window: it stands
        OutsideWindow,   // the moved time `at` left the trigger's window: the fallbacks decide
        FallbacksDecide, // the trigger is a repeat period: the fallbacks say when, from `at` on
        FallbackTime,    // fallback `element` offers `at` (none: nothing)
        FallbackOutside, // the exclusions moved fallback `element`'s time to `at`, out of its
                         // window
        FallbackInside,  // fallback `element` can fire at `at`
        FallbackChosen,  // fallback `element` offers the earliest time, `at`
        Retry,           // no fallback offers a time: the trigger's next run `at` is tried
        RetryInside,     // the retried run, moved to `at`, is in the trigger's window: it stands
        Unchecked,       // neither a fallback nor a later run is free: its next run goes unchecked
        Spent,           // the search of trigger `element` used up its steps: it offers nothing
        Offer,           // trigger `element` offers `at`, through fallback `fallback` (-1: none)
        Answer           // the search answers `at` (none: no time), from trigger `element` and
                         // fallback `fallback`
    };

    struct Entry
    {
        Step step = Step::SearchFrom;
        int element = -1;
        int fallback = -1;
        QDateTime at;
        QDateTime to;
    };

    void add(Step step, int element, const QDateTime &at, const QDateTime &to = QDateTime(),
             int fallback = -1)
    {
        m_entries.append({step, element, fallback, at, to});
    }
    const QList<Entry> &entries() const { return m_entries; }
    void clear() { m_entries.clear(); }

    // Searches `schedule`'s next occurrence again as its last update did,
    // recording the searches here after clearing what was recorded before.
    // With the clock standing where it stood then, the search decides alike.
    void retrace(Schedule &schedule);

    // The exclusions (from 0, in the order met) that covered the time the
    // deciding trigger of the last search first offered; none when nothing
    // was decided or its time was never excluded.
    QList<int> excludedBy() const;

private:
    QList<Entry> m_entries;
};
