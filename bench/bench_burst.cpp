// A burst of due schedules: the real scheduler on a private dbus-daemon, at
// the default trace level 2 written to a file, starts with 10,000 objectives
// and no store, so that every one is due at once. This program plays the
// distributor and notes when each "SchedulerEventPost" arrives; a second copy
// of it (--ask) sends "SchedulerListManualTriggersRequest" every 20 ms
// meanwhile and notes each round trip. It prints the length of the burst and
// the round trips of the requests sent during it, beside the goals. With
// --benchmark_min_time (the smoke run of scripts/test) it uses 30 objectives.

#include "benchbus.h"
#include "childmanager.h"
#include "context.h"
#include "msg.h"
#include "msgcondition.h"
#include "names.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>

#include <cstdio>

using namespace Orvel;

namespace {

constexpr int kObjectives = 10000;
constexpr int kSmokeObjectives = 30;
// The goals: every due firing delivered within this of the first, and every
// request sent during the burst answered within that.
constexpr double kBurstGoalMs = 1000;
constexpr double kRequestGoalMs = 100;
// How often the asker asks: as an operator's tool would, not back to back.
// It is stopped once the burst is over, or gives up after kAskForMs.
constexpr int kAskEveryMs = 20;
constexpr int kAskForMs = 60000;

// Rule set 1: one policy with `count` backup operations, each an objective
// of one hour and nothing else.
void writeRules(const QString &home, int count)
{
    const QString rules = home + QStringLiteral("/rules/1/");
    writeFile(rules + "dispatcherrules.cfg",
              "<r><ReplicationStream><Policies><Policy>Bench</Policy></Policies>"
              "</ReplicationStream></r>");
    QByteArray operations;
    for (int i = 0; i < count; ++i)
        operations += "<Backup><Name>Op" + QByteArray::number(i) +
                      "</Name><OperationId type=\"uint\">" + QByteArray::number(i) +
                      "</OperationId><RecoveryPointObjective>1 Hours</RecoveryPointObjective>"
                      "</Backup>";
    writeFile(rules + "policyrules.cfg",
              "<r><Policy><Policy>Bench</Policy><FirstRule type=\"uint\">1</FirstRule>" +
                  operations + "</Policy></r>");
}

// The asker: one line per request, "sent-at answered-at" in milliseconds
// since the epoch.
void ask()
{
    const MsgAddress scheduler(Names::Scheduler, Names::Scheduler);
    const Msg request(scheduler, Names::SchedulerListManualTriggersRequest, XmlList(), 0);
    QElapsedTimer running;
    running.start();
    while (running.elapsed() < kAskForMs) {
        const qint64 sent = QDateTime::currentMSecsSinceEpoch();
        if (request.request(5000))
            std::printf("%lld %lld\n", sent, QDateTime::currentMSecsSinceEpoch());
        std::fflush(stdout);
        QThread::msleep(kAskEveryMs);
    }
}

class Arrivals : public MsgCondition
{
public:
    explicit Arrivals(int expected)
        : expected(expected)
    {}
    bool isDone() const override { return count >= expected; }

    int expected;
    int count = 0;
    qint64 first = 0;
    qint64 last = 0;
    qint64 scheduler = 0;  // its process id
    double cpuAtFirst = 0; // its processor time at the first firing
};

// The round trips of the requests sent between `from` and `to`.
std::vector<double> roundTripsWithin(const QByteArray &askerOutput, qint64 from, qint64 to)
{
    std::vector<double> roundTrips;
    for (const QByteArray &line : askerOutput.split('\n')) {
        const QList<QByteArray> times = line.split(' ');
        if (times.size() != 2)
            continue;
        const qint64 sent = times.at(0).toLongLong();
        if (sent >= from && sent <= to)
            roundTrips.push_back(double(times.at(1).toLongLong() - sent));
    }
    return roundTrips;
}

void printRow(const char *measure, double value, const char *goal)
{
    std::printf("%-36s %10.0f %10s\n", measure, value, goal);
}

void measure(int count, const QProcessEnvironment &schedulerEnvironment)
{
    ChildManager distributor;
    distributor.initialize(1, 1);
    Arrivals arrivals(count);
    distributor.addMsgHandler(Names::SchedulerEventPost, ChildManager::handler([&](const Msg &) {
                                  arrivals.last = QDateTime::currentMSecsSinceEpoch();
                                  if (arrivals.count++ == 0) {
                                      arrivals.first = arrivals.last;
                                      arrivals.cpuAtFirst = cpuMs(arrivals.scheduler);
                                  }
                                  return eMsgResultHandled;
                              }));
    QProcess asker;
    qint64 announced = 0;
    double cpuAtAnnouncement = 0;
    double cpuAtLast = 0;
    {
        BenchScheduler scheduler(schedulerEnvironment);
        arrivals.scheduler = scheduler.processId();
        asker.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--ask")});
        asker.waitForStarted(10000);
        announced = QDateTime::currentMSecsSinceEpoch();
        cpuAtAnnouncement = cpuMs(arrivals.scheduler);
        scheduler.announceRuleSet1();
        Msg::wait(arrivals, kAskForMs);
        cpuAtLast = cpuMs(arrivals.scheduler);
        asker.kill();
        asker.waitForFinished(10000);
    }
    const std::vector<double> roundTrips =
        roundTripsWithin(asker.readAllStandardOutput(), arrivals.first, arrivals.last);

    std::printf("%-36s %10s %10s\n", "measure", "value", "goal");
    printRow("objectives due at once", count, "");
    printRow("firings received", arrivals.count, "");
    if (arrivals.count == 0)
        return;
    printRow("announcement to first firing (ms)", double(arrivals.first - announced), "");
    printRow("first to last firing (ms)", double(arrivals.last - arrivals.first), "<= 1000");
    printRow("scheduler CPU, reload (ms)", arrivals.cpuAtFirst - cpuAtAnnouncement, "");
    printRow("scheduler CPU, burst (ms)", cpuAtLast - arrivals.cpuAtFirst, "");
    printRow("requests sent during the burst", double(roundTrips.size()), "");
    if (roundTrips.empty())
        return;
    printRow("request round trip median (ms)", percentile(roundTrips, 0.5), "");
    printRow("request round trip worst (ms)", percentile(roundTrips, 1.0), "<= 100");
    const bool met = double(arrivals.last - arrivals.first) <= kBurstGoalMs &&
                     percentile(roundTrips, 1.0) <= kRequestGoalMs;
    std::printf("goals %s\n", met ? "met" : "NOT met");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.contains(QStringLiteral("--ask")))
        return Context::run(ask, 3, 0, QStringLiteral("BurstAsker"), QStringLiteral("Tools"),
                            QString());
    const bool smoke = args.filter(QStringLiteral("--benchmark_min_time")).size() > 0;
    const PrivateBus bus;
    if (!bus.isUp()) {
        std::fprintf(stderr, "bench_burst: cannot start dbus-daemon\n");
        return 1;
    }
    const QString home = bus.folder() + QStringLiteral("/home");
    qputenv("ORVEL_HOME", home.toUtf8());
    qputenv("ORVEL_LOG_FILE", (bus.folder() + QStringLiteral("/event.log")).toUtf8());
    qputenv("ORVEL_READY_TIMEOUT_S", "10");
    writeRules(home, smoke ? kSmokeObjectives : kObjectives);
    // The scheduler alone traces, at the default level, to a file.
    QProcessEnvironment schedulerEnvironment = QProcessEnvironment::systemEnvironment();
    schedulerEnvironment.insert(QStringLiteral("ORVEL_TRACE_LEVEL"), QStringLiteral("2"));
    schedulerEnvironment.insert(QStringLiteral("ORVEL_TRACE_FILE"),
                                bus.folder() + QStringLiteral("/trace.log"));
    const QString self = Names::Distributor;
    Context::run([&]() { measure(smoke ? kSmokeObjectives : kObjectives, schedulerEnvironment); },
                 3, 0, self, self, self);
    return 0;
}
