// A rule set of 10,000 policies, one operation each, with mixed rules: from
// the node manager's notification to the timer armed for the earliest
// schedule, over the in-memory transport.
#include "clock.h"
#include "memorytransport.h"
#include "schedulelist.h"
#include "trace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kPolicies = 10000;
const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0));
const QString kTimer = QStringLiteral("SchedulerTimer");

void writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

// Four kinds of operation in turn: a nightly file with an objective, an
// objective alone, a manual-trigger file with an objective, and a snapshot.
QByteArray operation(int i)
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

// The rule set, and a store in which every schedule fired a minute ago, as
// after a restart: nothing is due, so the measured pass only arms the timer.
void writeRuleSet(const QString &home)
{
    QByteArray dispatcher = "<rules><ReplicationStream><Policies>";
    QByteArray policies = "<rules>";
    QByteArray store = "<config>";
    const QByteArray lastFired = kNow.addSecs(-60).toString("yyyyMMddhhmmss").toLatin1();
    for (int i = 0; i < kPolicies; ++i) {
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

void reloadTenThousandPolicies(benchmark::State &state)
{
    QTemporaryDir dir;
    qputenv("ORVEL_HOME", dir.path().toUtf8());
    qputenv("ORVEL_TRACE_LEVEL", "-1");
    Orvel::Trace::configure();
    writeRuleSet(dir.path());
    Orvel::Clock::setNow(kNow);
    Orvel::MemoryTransport bus;
    ScheduleList list;
    Orvel::XmlList announcement;
    announcement.set(QStringLiteral("RulesId"), quint32(1), Orvel::XmlList::Replace);
    bus.setIdleHook([&]() {
        for (auto _ : state) {
            bus.deliver(QStringLiteral("NodeMgrNotifyRulesIdPost"), announcement);
            bus.fire(kTimer);
            if (list.scheduleList().size() != kPolicies || bus.armedMs(kTimer) <= 1)
                state.SkipWithError("the rule set did not load or arm the timer");
        }
        bus.shutDown();
    });
    list.run();
    state.counters["schedules"] = list.scheduleList().size();
    state.counters["armed_ms"] = double(bus.armedMs(kTimer));
    Orvel::Clock::useSystem();
}

} // namespace

BENCHMARK(reloadTenThousandPolicies)->Unit(benchmark::kMillisecond);
