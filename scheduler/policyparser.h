#pragma once

#include "schedule.h"
#include "sharedtimings.h"
#include "xmllist.h"

#include <QList>
#include <QString>

namespace Orvel {
class Config;
} // namespace Orvel

// Turns one policy record of the policy rules into schedules: one for each
// usable "Backup", "Cdp" or "LocalSnapshot" operation list, timed by its
// schedule file, its recovery point objective, or both.
class PolicyParser
{
public:
    // A recovery point objective: "count unit", e.g. "4 Hours". Unit 0 means
    // the objective is unusable.
    struct Objective
    {
        quint32 unit = 0;
        quint32 count = 0;
    };

    // Deliberate choice: an operation whose schedule name would be longer
    // than this is refused. The name keys the schedule's record in the times
    // store, whose keys are at most this long: a longer name could never keep
    // its times, and its schedule would fire again at once after every
    // restart.
    static constexpr int kMaxScheduleNameLength = Orvel::XmlList::kMaxKeyLength;

    PolicyParser(quint32 ruleSet, Orvel::Config *timesStore);

    // The record's schedules, each initiated; none for a record without a
    // name or first rule. Schedules of all the records one parser parses
    // share their timings (sharedtimings.h).
    // `place` names the record in trace lines about entries of the wrong shape.
    QList<Schedule> parsePolicy(const Orvel::XmlList &record,
                                const RulesPlace &place = RulesPlace());

    static Objective parseObjective(const QString &text);
    // Where a fired schedule of the operation kind goes: backups and
    // continuous protection post to the distributor, snapshots start the
    // snapshot program.
    static Orvel::XmlList triggerTarget(bool snapshot);

private:
    struct PolicyHead
    {
        QString name;
        quint32 firstRule = 0;
        QString mode;
    };
    // One operation list, ready to become a schedule.
    struct Operation
    {
        QString scheduleName;
        Objective objective;
        Orvel::XmlList data;
        Orvel::XmlList target;
    };

    static Orvel::XmlList buildTriggerTarget(bool snapshot);
    // The operation's schedule name, or none (traced and reported) when it is too long.
    static QString scheduleName(const PolicyHead &policy, const QString &operation, quint32 id,
                                const RulesPlace &place);
    void parseOperation(const PolicyHead &policy, const Orvel::XmlList &list,
                        const Orvel::XmlList &target, QList<Schedule> &made,
                        const RulesPlace &place);
    bool addFromFile(const PolicyHead &policy, const Operation &operation, const QString &fileName,
                     QList<Schedule> &made, const RulesPlace &place);
    void addObjectiveOnly(const Operation &operation, QList<Schedule> &made,
                          const RulesPlace &place);
    static void reportObjective(const Operation &operation, const QString &text,
                                const RulesPlace &place);
    static void complete(Schedule &schedule, const Operation &operation);

    Orvel::Config *m_timesStore;
    SharedTimings m_timings;
};
