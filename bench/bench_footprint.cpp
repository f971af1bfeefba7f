// What 10,000 policies cost the real scheduler on a private dbus-daemon, at
// the default trace level 2 written to a file: its resident memory before
// any rule set and with bench_reload's rule set loaded, and the time from
// the node manager's notification to the answer of the next request
// ("SchedulerListManualTriggersRequest" sent right behind it), for each of
// kReloads reloads. This program plays the distributor, sends the node
// manager's notification and asks. It prints each figure beside its goal.
// With --benchmark_min_time (the smoke run of scripts/test) it reloads once.

#include "benchbus.h"
#include "childmanager.h"
#include "context.h"
#include "msg.h"
#include "names.h"
#include "tenthousand.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcessEnvironment>

#include <cstdio>
#include <vector>

using namespace Orvel;

namespace {

constexpr int kReloads = 5;
constexpr double kRssGoalMb = 50;
constexpr double kPerScheduleGoalKb = 4;
constexpr double kReloadGoalMs = 250;

// The resident memory of process `pid`, in kilobytes.
double rssKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble();
    }
    return 0;
}

// Notification to the answer of the next request, in milliseconds; the
// answer's triggers are counted into `triggers`.
double reloadMs(int &triggers)
{
    const MsgAddress scheduler(Names::Scheduler, Names::Scheduler);
    XmlList announcement;
    announcement.set(QStringLiteral("RulesId"), quint32(1), XmlList::Replace);
    QElapsedTimer timer;
    timer.start();
    Msg(scheduler, Names::NodeMgrNotifyRulesIdPost, announcement, 0).send(false);
    const Msg answer =
        Msg(scheduler, Names::SchedulerListManualTriggersRequest, XmlList(), 0).request(60000);
    const double elapsed = double(timer.nsecsElapsed()) / 1e6;
    triggers = 0;
    for (XmlListIterator it = answer.body().first(); !it.isNull(); it.next())
        ++triggers;
    return elapsed;
}

void printRow(const char *measure, double value, const char *goal)
{
    std::printf("%-44s %10.1f %12s\n", measure, value, goal);
}

void measure(int reloads, const QProcessEnvironment &schedulerEnvironment)
{
    ChildManager distributor; // the scheduler waits for it to be ready
    distributor.initialize(1, 1);
    BenchScheduler scheduler(schedulerEnvironment);
    const double emptyKb = rssKb(scheduler.processId());
    std::vector<double> times;
    int triggers = 0;
    for (int i = 0; i < reloads; ++i)
        times.push_back(reloadMs(triggers));
    const double loadedKb = rssKb(scheduler.processId());
    const double perScheduleKb = (loadedKb - emptyKb) / TenThousand::kPolicies;

    std::printf("%-44s %10s %12s\n", "measure", "value", "goal");
    printRow("manual triggers answered after the reload", triggers, "2500");
    printRow("RSS without rule set (MB)", emptyKb / 1024, "");
    printRow("RSS with 10,000 policies (MB)", loadedKb / 1024, "< 50");
    printRow("RSS per schedule above the empty process (KB)", perScheduleKb, "< 4");
    printRow("reload, notification to answer, median (ms)", percentile(times, 0.5), "<= 250");
    printRow("reload, notification to answer, worst (ms)", percentile(times, 1.0), "");
    const bool met = loadedKb / 1024 < kRssGoalMb && perScheduleKb < kPerScheduleGoalKb &&
                     percentile(times, 0.5) <= kReloadGoalMs;
    std::printf("goals %s\n", met ? "met" : "NOT met");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const bool smoke =
        application.arguments().filter(QStringLiteral("--benchmark_min_time")).size();
    const PrivateBus bus;
    if (!bus.isUp()) {
        std::fprintf(stderr, "bench_footprint: cannot start dbus-daemon\n");
        return 1;
    }
    const QString home = bus.folder() + QStringLiteral("/home");
    qputenv("ORVEL_HOME", home.toUtf8());
    qputenv("ORVEL_LOG_FILE", (bus.folder() + QStringLiteral("/event.log")).toUtf8());
    qputenv("ORVEL_READY_TIMEOUT_S", "10");
    TenThousand::writeRuleSet(home, QDateTime::currentDateTime());
    // The scheduler alone traces, at the default level, to a file.
    QProcessEnvironment schedulerEnvironment = QProcessEnvironment::systemEnvironment();
    schedulerEnvironment.insert(QStringLiteral("ORVEL_TRACE_LEVEL"), QStringLiteral("2"));
    schedulerEnvironment.insert(QStringLiteral("ORVEL_TRACE_FILE"),
                                bus.folder() + QStringLiteral("/trace.log"));
    const QString self = Names::Distributor;
    Context::run([&]() { measure(smoke ? 1 : kReloads, schedulerEnvironment); }, 3, 0, self, self,
                 self);
    return 0;
}
