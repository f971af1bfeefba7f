#pragma once

#include "childmanager.h"
#include "configlocal.h"
#include "schedule.h"

#include <QList>
#include <QStringList>

namespace Orvel {
class Msg;
}

// The one long-lived object of the process: every schedule of the current
// rule set, ordered by next occurrence, the times store "scheduler.cfg", and
// the single timer "SchedulerTimer" armed for the earliest schedule.
class ScheduleList : public Orvel::ChildManager
{
public:
    ScheduleList();
    ~ScheduleList() override;

    // Enrols with the hub, registers the handlers, asks the node manager for
    // rule-set notifications and serves messages until the hub shuts the
    // process down. Without its bus name it returns at once, having
    // registered and posted nothing.
    void run();

    Orvel::MsgResult onRulesIdNotify(const Orvel::Msg &msg);
    Orvel::MsgResult onTimer(const Orvel::Msg &msg);
    Orvel::MsgResult onManualTriggerRequest(const Orvel::Msg &msg);
    Orvel::MsgResult onListManualTriggersRequest(const Orvel::Msg &msg);

    // Fires every due schedule in order, then arms the timer for the first
    // one still pending (or for the longest wait when it has no time).
    void processScheduleList();
    // Marks the first schedule as fired at `firedAt` and re-sorts the list.
    void scheduleOccurred(const QDateTime &firedAt);
    // Posts the schedule's event to its service, or starts its program.
    void fireSchedule(const Schedule &schedule);

    // Appends the schedules of rule set `uiRuleSet` for every policy this
    // node implements, then sorts the list.
    void reload(quint32 uiRuleSet);

    // Replaces every schedule and sorts the list.
    void setSchedules(const QList<Schedule> &list);
    const QList<Schedule> &scheduleList() const { return m_schedules; }

    // The longest timer delay in seconds ("MaxWaitSeconds", default 900).
    quint32 maxWaitSeconds() const { return m_maxWaitSeconds; }
    // The longest wait in whole calendar days: (maxWaitSeconds - 1) / 86400 + 1.
    quint32 maxWaitDays() const { return m_maxWaitDays; }

private:
    void registerHandlers();
    void sortSchedules();
    // Arms the timer for the pending `first`; false when it is due now.
    bool armFor(const Schedule &first, const QDateTime &now);

    quint32 m_ruleSet = 0;
    QList<Schedule> m_schedules;
    Orvel::ConfigLocal m_config;
    const quint32 m_maxWaitSeconds;
    const quint32 m_maxWaitDays;
};
