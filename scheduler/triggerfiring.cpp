#include "triggerfiring.h"

#include "clock.h"
#include "context.h"
#include "msg.h"
#include "names.h"
#include "schedule.h"
#include "spawn.h"
#include "trace.h"

#include <QFileInfo>

using namespace Orvel;

TriggerFiring::TriggerFiring(const Schedule &schedule, quint32 ruleSet)
    : m_schedule(schedule)
    , m_ruleSet(ruleSet)
    , m_data(schedule.eventData())
    , m_target(schedule.triggerTarget())
{}

void TriggerFiring::fire()
{
    TraceLine(2, "triggerfiring", __LINE__) << "Schedule triggered: Data" << m_data;
    logEvent();
    bool service = true;
    m_target.get(service, Names::SchedulerTriggerService);
    if (service)
        postEvent();
    else
        spawnProgram();
}

// The "Backup" event-log line needs the policy, the operation and the trigger
// type, read in that order; the first one missing ends the reading, so a
// missing policy leaves the operation unread too.
void TriggerFiring::logEvent()
{
    QString type;
    if (!m_data.get(m_policy, Names::Policy) || !m_data.get(m_operation, Names::Operation) ||
        !m_target.get(type, Names::SchedulerTriggerType))
        return;
    if (Log *log = Context::logging()) {
        log->initialiseMessage(Names::Backup, 1, {});
        *log << "%1s: Policy '%2s', operation '%3s'" << type << m_policy << m_operation;
        if (log->keepsFields())
            log->setFields(journalFields());
        log->sendMessage();
    }
}

// The journal's fields of a firing, so that operators and tools find firings
// by policy and see how late each one ran.
Log::Fields TriggerFiring::journalFields() const
{
    const QDateTime due = m_schedule.nextOccurrence();
    return {{"SCHEDULE", m_schedule.name()},
            {"POLICY", m_policy},
            {"OPERATION", m_operation},
            {"TRIGGER", m_schedule.firingCause()},
            {"DUE", due.toOffsetFromUtc(due.offsetFromUtc()).toString(Qt::ISODateWithMs)},
            {"LATE_MS", QString::number(due.msecsTo(Clock::now()))},
            {"RULE_SET", QString::number(m_ruleSet)}};
}

void TriggerFiring::postEvent() const
{
    QString process;
    QString group;
    if (!m_target.get(process, Names::SchedulerTriggerProcess) ||
        !m_target.get(group, Names::SchedulerTriggerGroup))
        return;
    Msg(MsgAddress(process, group), Names::SchedulerEventPost, m_data, 0).send(false);
}

void TriggerFiring::spawnProgram() const
{
    QString program;
    if (!m_target.get(program, Names::SchedulerTriggerProcess))
        return;
    const QFileInfo file(program); // a relative name is looked up in the working directory
    if (!file.isFile()) {
        TraceLine(2, "triggerfiring", __LINE__)
            << "Spawning failed:" << program << "file not found or invalid";
        return;
    }
    // Deliberate choice: parsed policies always carry "RuleId" and
    // "OperationId", so a missing one means hand-made schedule data. The
    // program still runs, with 0 in its place, rather than losing the
    // snapshot; the trace names the schedule so the data can be fixed.
    quint32 ruleId = 0;
    quint32 operationId = 0;
    const bool hasRuleId = m_data.get(ruleId, Names::RuleId);
    const bool hasOperationId = m_data.get(operationId, Names::OperationId);
    if (!hasRuleId || !hasOperationId)
        TraceLine(2, "triggerfiring", __LINE__)
            << "Schedule" << m_schedule.name() << "has no RuleId or OperationId: passing 0";
    Spawn spawn;
    spawn.setProgram(file.absoluteFilePath());
    spawn.addArgument("-r");
    spawn.addArgument(m_ruleSet);
    spawn.addArgument("-p");
    spawn.addArgument(m_policy);
    spawn.addArgument("-i");
    spawn.addArgument(ruleId);
    spawn.addArgument("-o");
    spawn.addArgument(m_operation);
    spawn.addArgument("-s");
    spawn.addArgument(operationId);
    if (spawn.spawn())
        TraceLine(4, "triggerfiring", __LINE__) << "Spawning success:" << program;
    else
        TraceLine(2, "triggerfiring", __LINE__) << "Spawning failed:" << program << spawn.error();
}
