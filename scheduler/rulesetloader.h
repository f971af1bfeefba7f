#pragma once

#include "schedule.h"

#include <QList>
#include <QStringList>

namespace Orvel {
class Config;
} // namespace Orvel

// Reads one rule set the way the scheduler does: the dispatcher rules say
// which policies this node implements, the policy rules give their
// operations, and each operation becomes a schedule. The scheduler and the
// operator tools share it, so a preview or a check sees exactly what the
// running scheduler would load.
class RuleSetLoader
{
public:
    // The schedules of rule set `ruleSet`, unsorted, each initiated with its
    // times from `timesStore` (none when it is null). What the rules hold
    // that cannot be used is traced, and added to `report` when given.
    static QList<Schedule> load(quint32 ruleSet, Orvel::Config *timesStore,
                                RulesReport *report = nullptr);

private:
    class PolicyEntries;
    static QString ruleFile(quint32 ruleSet, const QString &name);
    static QList<Schedule> loadPolicies(quint32 ruleSet, const Orvel::Config &dispatcherRules,
                                        PolicyEntries &policies, Orvel::Config *timesStore,
                                        RulesReport *report);
};
