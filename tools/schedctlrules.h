#pragma once

#include <QDateTime>
#include <QString>

// The schedctl commands that read a rule set without the bus, through the
// scheduler's own loading code. Each answers schedctl's exit code.
namespace SchedctlRules {

// The rule set to use: `given`, or the highest-numbered one under
// $ORVEL_HOME/rules when `given` is 0. Answers 0, with one line on standard
// error, when there is none or `given` does not exist.
quint32 ruleSetOrLatest(quint32 given);

// NEXT, LEFT, LAST, PASSED and the name of every schedule, from the rules and
// the scheduler's store, which is read but never written.
int timers(quint32 ruleSet);
// What the scheduler would fire from `from` on, `count` firings, tab-separated;
// no store is read or written. `only` limits the output to one schedule.
int preview(quint32 ruleSet, const QDateTime &from, int count, const QString &only);
// Every problem the scheduler would only trace while loading the rule set,
// one line each: "file: reason". 1 when there is any.
int check(quint32 ruleSet);

} // namespace SchedctlRules
