#pragma once

// The rule set of 10,000 policies, one operation each, with mixed rules,
// that bench_reload and bench_footprint load (bench_messaging, its first five).

#include "benchbus.h"

#include <QDateTime>

namespace TenThousand {

inline constexpr int kPolicies = 10000;

// Four kinds of operation in turn: a nightly file with an objective, an
// objective alone, a manual-trigger file with an objective, and a snapshot.
inline QByteArray operation(int i)
{
    static const char *const kinds[] = {
        "<Backup><Name>N</Name><OperationId>1</OperationId><ScheduleFile>nightly.xml"
        "</ScheduleFile><RecoveryPointObjective>4 Hours</RecoveryPointObjective></Backup>",
        "<Cdp><Name>C</Name><OperationId>2</OperationId><RecoveryPointObjective>15 Minutes"
        "</RecoveryPointObjective></Cdp>",
        "<Backup><Name>M</Name><OperationId>3</OperationId><ScheduleFile>manual.xml"
        "</ScheduleFile><RecoveryPointObjective>1 Days</RecoveryPointObjective></Backup>",
        "<LocalSnapshot><Name>S</Name><OperationId>4</OperationId><RecoveryPointObjective>1 Hours"
        "</RecoveryPointObjective></LocalSnapshot>"};
    return kinds[i % 4];
}

// The rule set of `count` policies, and a store in which every schedule
// fired a minute before `now`, as after a restart: nothing is due, so a
// reload only arms the timer.
inline void writeRuleSet(const QString &home, const QDateTime &now, int count = kPolicies)
{
    QByteArray dispatcher = "<rules><ReplicationStream><Policies>";
    QByteArray policies = "<rules>";
    QByteArray store = "<config>";
    const QByteArray lastFired = now.addSecs(-60).toString("yyyyMMddhhmmss").toLatin1();
    for (int i = 0; i < count; ++i) {
        const QByteArray name = "P" + QByteArray::number(i);
        dispatcher += "<Policy>" + name + "</Policy>";
        policies += "<Policy><Policy>" + name + "</Policy><FirstRule>" + QByteArray::number(i) +
                    "</FirstRule>" + operation(i) + "</Policy>";
        const QByteArray scheduleName = name + "-" + QByteArray::number(i) + "-" + "NCMS"[i % 4] +
                                        "-" + QByteArray::number(i % 4 + 1);
        store += "<entry name=\"" + scheduleName + "\"><LastOccurance>" + lastFired +
                 "</LastOccurance></entry>";
    }
    writeFile(home + "/rules/1/dispatcherrules.cfg",
              dispatcher + "</Policies></ReplicationStream></rules>");
    writeFile(home + "/rules/1/policyrules.cfg", policies + "</rules>");
    writeFile(home + "/local/scheduler.cfg", store + "</config>");
    writeFile(home + "/rules/1/nightly.xml",
              "<schedule><ScheduleElement><Type>Trigger</Type><WeekDays><Days><All>true</All>"
              "</Days><WeekNumbers><All>true</All></WeekNumbers></WeekDays><Time>22:00</Time>"
              "<Duration>60</Duration></ScheduleElement></schedule>");
    writeFile(home + "/rules/1/manual.xml",
              "<schedule><ScheduleElement><Type>Trigger</Type><ManualTrigger><ActivationName>Full"
              "</ActivationName></ManualTrigger></ScheduleElement></schedule>");
}

} // namespace TenThousand
