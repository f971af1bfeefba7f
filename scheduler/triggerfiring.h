#pragma once

#include "log.h"
#include "xmllist.h"

#include <QString>

class Schedule;

// The firing of one due schedule, as its trigger target says: the "Backup"
// event-log line (with the journal's fields of the firing), then either a
// "SchedulerEventPost" to the target's service or a start of its program
// with the rule set, policy, rule, operation and operation numbers. Nothing
// here stops the timer loop: every failure is traced and the firing ends.
class TriggerFiring
{
public:
    TriggerFiring(const Schedule &schedule, quint32 ruleSet);

    void fire();

private:
    void logEvent();
    Orvel::Log::Fields journalFields() const;
    void postEvent() const;
    void spawnProgram() const;

    const Schedule &m_schedule;
    quint32 m_ruleSet;
    Orvel::XmlList m_data;
    Orvel::XmlList m_target;
    QString m_policy;
    QString m_operation;
};
