#pragma once

// The message, key and peer names shared by the scheduler, its tools and the
// suite's peers. Every process spells them from here, so a name changes in
// one place only.
namespace Orvel::Names {

// Processes (each is its own group).
inline constexpr char Scheduler[] = "Scheduler";
inline constexpr char NodeManager[] = "NodeManager";
inline constexpr char Distributor[] = "Distributor";

// Messages.
inline constexpr char HubRtrRegisterNotifyOnReadyPost[] = "HubRtrRegisterNotifyOnReadyPost";
inline constexpr char HubRtrProcessReadyPost[] = "HubRtrProcessReadyPost";
inline constexpr char NodeMgrRegisterNotifyRulesIdPost[] = "NodeMgrRegisterNotifyRulesIdPost";
inline constexpr char NodeMgrNotifyRulesIdPost[] = "NodeMgrNotifyRulesIdPost";
inline constexpr char SchedulerTimer[] = "SchedulerTimer";
inline constexpr char SchedulerManualTriggerRequest[] = "SchedulerManualTriggerRequest";
inline constexpr char SchedulerManualTriggerReply[] = "SchedulerManualTriggerReply";
inline constexpr char SchedulerListManualTriggersRequest[] = "SchedulerListManualTriggersRequest";
inline constexpr char SchedulerListManualTriggersReply[] = "SchedulerListManualTriggersReply";
inline constexpr char SchedulerEventPost[] = "SchedulerEventPost";

// Body keys.
inline constexpr char Address[] = "Address";
inline constexpr char Success[] = "Success";
inline constexpr char RulesId[] = "RulesId";
inline constexpr char ActivationName[] = "ActivationName";
inline constexpr char ActivationCount[] = "ActivationCount";
inline constexpr char UserTag[] = "UserTag";
inline constexpr char Policy[] = "Policy";
inline constexpr char RuleId[] = "RuleId";
inline constexpr char Operation[] = "Operation";
inline constexpr char OperationId[] = "OperationId";
inline constexpr char CommsMode[] = "CommsMode";
inline constexpr char TriggerData[] = "TriggerData";
inline constexpr char FallbackData[] = "FallbackData";
inline constexpr char ManualTrigger[] = "ManualTrigger";
inline constexpr char SchedulerTriggerType[] = "SchedulerTriggerType";
inline constexpr char SchedulerTriggerService[] = "SchedulerTriggerService";
inline constexpr char SchedulerTriggerProcess[] = "SchedulerTriggerProcess";
inline constexpr char SchedulerTriggerGroup[] = "SchedulerTriggerGroup";

// Rules files of a rule set, and the entries the scheduler reads from them.
inline constexpr char DispatcherRulesFile[] = "dispatcherrules.cfg";
inline constexpr char PolicyRulesFile[] = "policyrules.cfg";
inline constexpr char ReplicationStream[] = "ReplicationStream";
inline constexpr char SnapshotStream[] = "SnapshotStream";
inline constexpr char Policies[] = "Policies";
inline constexpr char RemotePolicies[] = "RemotePolicies";
inline constexpr char FirstRule[] = "FirstRule";
inline constexpr char Mode[] = "Mode";
inline constexpr char Cdp[] = "Cdp";
inline constexpr char LocalSnapshot[] = "LocalSnapshot";
inline constexpr char Name[] = "Name";
inline constexpr char RecoveryPointObjective[] = "RecoveryPointObjective";
inline constexpr char ScheduleFile[] = "ScheduleFile";

// Trigger targets: the snapshot program and the event types of the log.
inline constexpr char SnapshotProgram[] = "quenrod.exe";
inline constexpr char BackupEvent[] = "Backup event";
inline constexpr char SnapshotEvent[] = "Snapshot event";

// The scheduler's own store and its keys.
inline constexpr char SchedulerStore[] = "scheduler.cfg";
inline constexpr char MaxWaitSeconds[] = "MaxWaitSeconds";
inline constexpr char LastOccurance[] = "LastOccurance";
inline constexpr char NextOccurance[] = "NextOccurance";
// Seconds east of UTC in force at the instant of the time beside it.
inline constexpr char LastOccuranceUtcOffset[] = "LastOccuranceUtcOffset";
inline constexpr char NextOccuranceUtcOffset[] = "NextOccuranceUtcOffset";

// Event-log categories ("Backup" also names a policy's backup operation list).
inline constexpr char Replication[] = "Replication";
inline constexpr char Backup[] = "Backup";

} // namespace Orvel::Names
