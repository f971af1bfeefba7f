// How late the scheduler fires: the real scheduler on a private dbus-daemon,
// 300 schedules whose daily windows open ten at a time at each whole second
// of the next half minute, and this program as the distributor, noting when each
// "SchedulerEventPost" arrives. It prints the median, 99th percentile and
// worst of (arrival - due instant). orvelmsg plays the node manager. With
// --benchmark_min_time (the smoke run of scripts/test) it uses 3 schedules.

#include "benchbus.h"
#include "childmanager.h"
#include "context.h"
#include "msg.h"
#include "msgcondition.h"
#include "names.h"

#include <QCoreApplication>

#include <cstdio>
#include <map>

using namespace Orvel;

namespace {

constexpr int kSchedules = 300;
// Windows opening together: each firing of a second waits for those before it.
constexpr int kPerSecond = 10;
constexpr int kSmokeSchedules = 3;
// Room for the scheduler to start and load the rules before the first window.
constexpr int kLeadSeconds = 4;

// Rule set 1: one policy whose operation i opens a one-second daily window at
// due[i]; answers those instants by operation name.
std::map<QString, QDateTime> writeRules(const QString &home, int count)
{
    const QString rules = home + QStringLiteral("/rules/1/");
    writeFile(rules + "dispatcherrules.cfg",
              "<r><ReplicationStream><Policies><Policy>Bench</Policy></Policies>"
              "</ReplicationStream></r>");
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime first = now.addSecs(kLeadSeconds).addMSecs(1000 - now.time().msec());
    std::map<QString, QDateTime> due;
    QByteArray operations;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("Op%1").arg(i);
        const QDateTime at = first.addSecs(i / kPerSecond);
        due[name] = at;
        operations += "<Backup><Name>" + name.toUtf8() + "</Name><OperationId type=\"uint\">" +
                      QByteArray::number(i) + "</OperationId><ScheduleFile>s" +
                      QByteArray::number(i) + ".xml</ScheduleFile></Backup>";
        writeFile(rules + QStringLiteral("s%1.xml").arg(i),
                  "<s><ScheduleElement><Type>Trigger</Type><WeekDays><Days><All>true</All></Days>"
                  "</WeekDays><Time>" +
                      at.toString(QStringLiteral("hh:mm:ss")).toUtf8() +
                      "</Time><Duration>1</Duration></ScheduleElement></s>");
    }
    writeFile(rules + "policyrules.cfg",
              "<r><Policy><Policy>Bench</Policy><FirstRule type=\"uint\">1"
              "</FirstRule>" +
                  operations + "</Policy></r>");
    return due;
}

class Arrivals : public MsgCondition
{
public:
    explicit Arrivals(size_t expected)
        : expected(expected)
    {}
    bool isDone() const override { return lateness.size() >= expected; }

    size_t expected;
    std::vector<double> lateness;
};

void measure(const std::map<QString, QDateTime> &due)
{
    ChildManager distributor;
    distributor.initialize(1, 1);
    Arrivals arrivals(due.size());
    distributor.addMsgHandler(
        Names::SchedulerEventPost, ChildManager::handler([&](const Msg &msg) {
            const QDateTime arrived = QDateTime::currentDateTime();
            const auto it = due.find(msg.getString(nullptr, Names::Operation));
            if (it != due.end())
                arrivals.lateness.push_back(double(it->second.msecsTo(arrived)));
            return eMsgResultHandled;
        }));
    {
        BenchScheduler scheduler;
        scheduler.announceRuleSet1();
        Msg::wait(arrivals, (kLeadSeconds + int(due.size()) / kPerSecond + 10) * 1000);
    }

    const std::vector<double> &late = arrivals.lateness;
    std::printf("%-28s %12s\n", "measure", "value");
    std::printf("%-28s %12zu\n", "schedules", due.size());
    std::printf("%-28s %12zu\n", "firings received", late.size());
    if (late.empty())
        return;
    std::printf("%-28s %12.1f\n", "lateness median (ms)", percentile(late, 0.5));
    std::printf("%-28s %12.1f\n", "lateness p99 (ms)", percentile(late, 0.99));
    std::printf("%-28s %12.1f\n", "lateness worst (ms)", percentile(late, 1.0));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const bool smoke =
        application.arguments().filter(QStringLiteral("--benchmark_min_time")).size() > 0;
    const PrivateBus bus;
    if (!bus.isUp()) {
        std::fprintf(stderr, "bench_lateness: cannot start dbus-daemon\n");
        return 1;
    }
    const QString home = bus.folder() + QStringLiteral("/home");
    qputenv("ORVEL_HOME", home.toUtf8());
    qputenv("ORVEL_LOG_FILE", (bus.folder() + QStringLiteral("/event.log")).toUtf8());
    qputenv("ORVEL_READY_TIMEOUT_S", "10");
    const auto due = writeRules(home, smoke ? kSmokeSchedules : kSchedules);
    const QString self = QStringLiteral("Distributor");
    Context::run([&]() { measure(due); }, 3, 0, self, self, self);
    return 0;
}
