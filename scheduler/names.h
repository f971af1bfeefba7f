#pragma once

#include <QLatin1StringView>

// The message, key, file and peer names of the scheduler, shared by its tools
// and the stand-ins of its peers. Every program spells them from here, so a
// name changes in one place only. Compile-time views: comparing with one
// costs no allocation, and a QString is made only where one is needed.
namespace Names {

// Processes (each is its own group).
inline constexpr QLatin1StringView Scheduler{"Scheduler"};
inline constexpr QLatin1StringView NodeManager{"NodeManager"};
inline constexpr QLatin1StringView Distributor{"Distributor"};

// Messages.
inline constexpr QLatin1StringView NodeMgrRegisterNotifyRulesIdPost{
    "NodeMgrRegisterNotifyRulesIdPost"};
inline constexpr QLatin1StringView NodeMgrNotifyRulesIdPost{"NodeMgrNotifyRulesIdPost"};
inline constexpr QLatin1StringView SchedulerTimer{"SchedulerTimer"};
inline constexpr QLatin1StringView SchedulerManualTriggerRequest{"SchedulerManualTriggerRequest"};
inline constexpr QLatin1StringView SchedulerManualTriggerReply{"SchedulerManualTriggerReply"};
inline constexpr QLatin1StringView SchedulerListManualTriggersRequest{
    "SchedulerListManualTriggersRequest"};
inline constexpr QLatin1StringView SchedulerListManualTriggersReply{
    "SchedulerListManualTriggersReply"};
inline constexpr QLatin1StringView SchedulerEventPost{"SchedulerEventPost"};

// Body keys.
inline constexpr QLatin1StringView RulesId{"RulesId"};
inline constexpr QLatin1StringView ActivationName{"ActivationName"};
inline constexpr QLatin1StringView ActivationCount{"ActivationCount"};
inline constexpr QLatin1StringView UserTag{"UserTag"};
inline constexpr QLatin1StringView Policy{"Policy"};
inline constexpr QLatin1StringView RuleId{"RuleId"};
inline constexpr QLatin1StringView Operation{"Operation"};
inline constexpr QLatin1StringView OperationId{"OperationId"};
inline constexpr QLatin1StringView CommsMode{"CommsMode"};
inline constexpr QLatin1StringView TriggerData{"TriggerData"};
inline constexpr QLatin1StringView FallbackData{"FallbackData"};
inline constexpr QLatin1StringView ManualTrigger{"ManualTrigger"};
inline constexpr QLatin1StringView SchedulerTriggerType{"SchedulerTriggerType"};
inline constexpr QLatin1StringView SchedulerTriggerService{"SchedulerTriggerService"};
inline constexpr QLatin1StringView SchedulerTriggerProcess{"SchedulerTriggerProcess"};
inline constexpr QLatin1StringView SchedulerTriggerGroup{"SchedulerTriggerGroup"};

// Rules files of a rule set, and the entries the scheduler reads from them.
inline constexpr QLatin1StringView DispatcherRulesFile{"dispatcherrules.cfg"};
inline constexpr QLatin1StringView PolicyRulesFile{"policyrules.cfg"};
inline constexpr QLatin1StringView ReplicationStream{"ReplicationStream"};
inline constexpr QLatin1StringView SnapshotStream{"SnapshotStream"};
inline constexpr QLatin1StringView Policies{"Policies"};
inline constexpr QLatin1StringView RemotePolicies{"RemotePolicies"};
inline constexpr QLatin1StringView FirstRule{"FirstRule"};
inline constexpr QLatin1StringView Mode{"Mode"};
inline constexpr QLatin1StringView Cdp{"Cdp"};
inline constexpr QLatin1StringView LocalSnapshot{"LocalSnapshot"};
inline constexpr QLatin1StringView Name{"Name"};
inline constexpr QLatin1StringView RecoveryPointObjective{"RecoveryPointObjective"};
inline constexpr QLatin1StringView ScheduleFile{"ScheduleFile"};

// Trigger targets: the snapshot program and the event types of the log.
inline constexpr QLatin1StringView SnapshotProgram{"quenrod.exe"};
inline constexpr QLatin1StringView BackupEvent{"Backup event"};
inline constexpr QLatin1StringView SnapshotEvent{"Snapshot event"};

// The scheduler's own store and its keys.
inline constexpr QLatin1StringView SchedulerStore{"scheduler.cfg"};
inline constexpr QLatin1StringView MaxWaitSeconds{"MaxWaitSeconds"};
inline constexpr QLatin1StringView LastOccurance{"LastOccurance"};
inline constexpr QLatin1StringView NextOccurance{"NextOccurance"};
// Seconds east of UTC in force at the instant of the time beside it.
inline constexpr QLatin1StringView LastOccuranceUtcOffset{"LastOccuranceUtcOffset"};
inline constexpr QLatin1StringView NextOccuranceUtcOffset{"NextOccuranceUtcOffset"};

// Event-log categories ("Backup" also names a policy's backup operation list).
inline constexpr QLatin1StringView Replication{"Replication"};
inline constexpr QLatin1StringView Backup{"Backup"};

} // namespace Names
