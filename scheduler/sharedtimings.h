#pragma once

#include "schedule.h"
#include "trace.h"

#include <QHash>
#include <QString>

// The timings of one load's schedules, each built once: a schedule file that
// many operations name is read once, and a file with an objective, or an
// objective alone, becomes one set of elements that every schedule timed
// alike shares. Whatever building a timing traced is traced again for each
// schedule that takes it, so the trace reads as if each had built its own.
//
// Deliberate choice: schedules share their elements instead of each holding
// a copy of its file's content. The elements are implicitly shared values,
// so a schedule behaves exactly as if it had its own copy: one that writes
// into an element (a manual trigger stamps its data) copies them first.
class SharedTimings
{
public:
    explicit SharedTimings(quint32 ruleSet);

    // Schedules without a name or store: timed by the schedule file
    // `fileName` (named at `naming`) and, when `unit` is not 0, a repeat
    // period of `count` units `unit`; or by the repeat period alone.
    // A load that fills a report builds each timing afresh, so that every
    // operation gets its own findings, as it gets its own trace lines.
    Schedule fromFile(const QString &fileName, quint32 unit, quint32 count,
                      const RulesPlace &naming);
    Schedule objectiveOnly(quint32 unit, quint32 count);

private:
    struct Key
    {
        bool hasFile = false;
        QString fileName;
        quint32 unit = 0;
        quint32 count = 0;
        bool operator==(const Key &other) const
        {
            return hasFile == other.hasFile && fileName == other.fileName && unit == other.unit &&
                   count == other.count;
        }
    };
    friend size_t qHash(const Key &key, size_t seed)
    {
        return qHashMulti(seed, key.hasFile, key.fileName, key.unit, key.count);
    }

    Schedule timing(const Key &key, const RulesPlace &naming = RulesPlace());
    Schedule build(const Key &key, const RulesPlace &naming);

    struct Built
    {
        Schedule timing;
        Orvel::TraceLines traces;
    };

    quint32 m_ruleSet;
    QHash<Key, Built> m_built;
};
