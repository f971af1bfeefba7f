#pragma once

#include "scheduleelement.h"
#include "trace.h"

#include <QDateTime>
#include <QHash>
#include <QList>

// Next-occurrence searches done once for every schedule that shares them.
// While a memo lives (a rule set being loaded, at one instant) the search of
// one trigger of one set of shared elements from one instant is worked out
// once: the schedules that share those elements (sharedtimings.h) get its
// answer, and the trace lines it wrote, again. Outside a memo every search
// is worked out anew.
class SearchMemo
{
public:
    // What the search of one trigger found: the time (none when it found
    // none), the fallback that gave it, and whether it used up its steps.
    struct Outcome
    {
        QDateTime time;
        int fallbackIndex = -1;
        bool spent = false;
    };
    // One search: the elements it searched (the lists themselves, whose
    // shared storage tells one set of elements from another), the trigger,
    // which part of its search (its unchecked run time, or the time checked
    // against exclusions and fallbacks), and where it started.
    struct Key
    {
        QList<ScheduleElement> triggers;
        QList<ScheduleElement> exclusions;
        QList<ScheduleElement> fallbacks;
        int trigger = 0;
        bool checked = false;
        QDateTime from;
        bool inclusive = false;
        bool operator==(const Key &other) const;
    };

    // The memo searches use from now on, until it is destroyed.
    SearchMemo();
    ~SearchMemo();
    SearchMemo(const SearchMemo &) = delete;
    SearchMemo &operator=(const SearchMemo &) = delete;

    // The outcome of `search` for the key `makeKey` makes: worked out by
    // `search` the first time, recalled after that; worked out every time
    // when no memo lives.
    template<typename MakeKey, typename Search>
    static Outcome recall(const MakeKey &makeKey, const Search &search)
    {
        SearchMemo *memo = current();
        if (!memo)
            return search();
        const Key key = makeKey();
        if (const Outcome *known = memo->find(key))
            return *known;
        const Orvel::TraceRecording recording;
        const Outcome outcome = search();
        memo->m_outcomes.insert(key, Recalled{outcome, recording.lines()});
        return outcome;
    }

private:
    struct Recalled
    {
        Outcome outcome;
        Orvel::TraceLines traces;
    };
    friend size_t qHash(const Key &key, size_t seed);

    static SearchMemo *current();
    // The outcome kept for `key`, its trace lines written again; null when none.
    const Outcome *find(const Key &key) const;

    QHash<Key, Recalled> m_outcomes;
    SearchMemo *m_outer = nullptr;
};
