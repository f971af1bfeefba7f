// Messaging between processes on a private dbus-daemon, in one table:
// - post throughput and request round trip between two framework processes
//   (a second copy of this program, --serve, is the echo peer);
// - the round trip of "SchedulerListManualTriggersRequest" to the real
//   scheduler (five policies, trace level 2 written to a file) beside that of
//   the same call to a do-nothing QtDBus service (a third copy, --qtdbus),
//   sent by turns from one plain sd-bus client, so that the ratio shows what
//   the scheduler adds on top of its transport.
// Every process of the run (the bus daemon, the services, the client) shares
// one processor: on a shared 2-core machine, which processor each wake-up
// lands on swung the ratio from 0.8 to 1.7 between runs; on one processor a
// round trip is the work of all parties in turn, and what the scheduler adds
// shows in it. With --benchmark_min_time (the smoke run of scripts/test) it
// sends a few hundred messages only.

#include "benchbus.h"
#include "childmanager.h"
#include "context.h"
#include "hubrouter.h"
#include "msg.h"
#include "names.h"
#include "tenthousand.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include <sched.h>
#include <systemd/sd-bus.h>

using namespace Orvel;

namespace {

constexpr int kMessages = 10000;
constexpr int kSmokeMessages = 200;
constexpr int kRoundTrips = 5000; // to each service
constexpr int kSmokeRoundTrips = 100;
constexpr int kWarmUp = 200;
constexpr int kPolicies = 5;
constexpr double kRatioGoal = 1.25;
const QString kPeer = QStringLiteral("BenchEcho");
const QString kDoNothing = QStringLiteral("BenchQtDBus");
// The object and interface every framework process serves.
const char *const kPath = "/org/orvel/Msg";
const char *const kInterface = "org.orvel.Msg1";

// The echo peer: answers every request with its own body.
void serve()
{
    ChildManager manager;
    manager.initialize(1, 1);
    manager.addMsgHandler(QString(), ChildManager::handler([](const Msg &msg) {
                              msg.reply(msg.name(), msg.body(), 0, false);
                              return eMsgResultHandled;
                          }));
    Msg::wait(ChildManager::ConditionDone(manager), -1);
}

// The reference: Request(name, body) -> (name, body) served by plain QtDBus,
// answering with what it was given and doing nothing else. Its slot carries
// the D-Bus method's name.
class DoNothing : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvel.Msg1")

public slots:
    QString Request(const QString &name, const QString &body, QString &replyBody)
    {
        replyBody = body;
        return name;
    }
};

int serveDoNothing(QCoreApplication &application)
{
    QDBusConnection connection =
        QDBusConnection::connectToBus(qEnvironmentVariable("ORVEL_BUS"), kDoNothing);
    DoNothing object;
    if (!connection.registerObject(QString::fromLatin1(kPath), &object,
                                   QDBusConnection::ExportAllSlots) ||
        !connection.registerService(MsgAddress(kDoNothing, kDoNothing).busName()))
        return 1;
    return application.exec();
}

void printRow(const char *measure, double value, const char *goal = "")
{
    std::printf("%-44s %10.1f %10s\n", measure, value, goal);
}

void measureFramework(int count)
{
    const MsgAddress peer(kPeer, kPeer);
    if (!HubRouter::isReady(peer, 10000)) {
        std::fprintf(stderr, "bench_messaging: the echo peer did not come up\n");
        return;
    }
    XmlList body;
    body.set(QStringLiteral("RulesId"), quint32(7), XmlList::Replace);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i)
        Msg(peer, QStringLiteral("BenchPost"), body, 0).send(false);
    // The peer answers this request after every earlier post: one queue, in order.
    Msg(peer, QStringLiteral("BenchSync"), body, 0).request(-1);
    const double postSeconds = double(clock.nsecsElapsed()) / 1e9;

    std::vector<double> latenciesUs;
    latenciesUs.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        clock.restart();
        Msg(peer, QStringLiteral("BenchRequest"), body, 0).request(-1);
        latenciesUs.push_back(double(clock.nsecsElapsed()) / 1e3);
    }
    printRow("messages", count);
    printRow("Post throughput (msg/s)", double(count) / postSeconds);
    printRow("Request median (us)", percentile(latenciesUs, 0.5));
    printRow("Request p99 (us)", percentile(latenciesUs, 0.99));
}

// A plain blocking client on a connection of its own: sd-bus, with no
// thread or event loop of its own, so that it adds as little as a client can
// to both round trips it compares.
class Client
{
public:
    Client()
    {
        m_up = sd_bus_new(&m_bus) >= 0 &&
               sd_bus_set_address(m_bus, qgetenv("ORVEL_BUS").constData()) >= 0 &&
               sd_bus_set_bus_client(m_bus, 1) >= 0 && sd_bus_start(m_bus) >= 0;
    }
    ~Client() { sd_bus_flush_close_unref(m_bus); }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool isUp() const { return m_up; }

    // Request(name, body) to `process`; the answer's body, or none.
    std::optional<QByteArray> request(const QByteArray &process, const char *name, const char *body)
    {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message *reply = nullptr;
        std::optional<QByteArray> answer;
        const char *replyName = nullptr;
        const char *replyBody = nullptr;
        if (sd_bus_call_method(m_bus, process.constData(), kPath, kInterface, "Request", &error,
                               &reply, "ss", name, body) >= 0 &&
            sd_bus_message_read(reply, "ss", &replyName, &replyBody) >= 0)
            answer = QByteArray(replyBody);
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return answer;
    }

private:
    sd_bus *m_bus = nullptr;
    bool m_up = false;
};

// One service's end of the comparison: where the call goes, and its round trips.
struct Target
{
    Target(const QString &process, qint64 pid)
        : busName(MsgAddress(process, process).busName().toUtf8())
        , pid(pid)
    {}

    QByteArray busName;
    qint64 pid;
    double cpuMsBefore = 0;
    std::vector<double> roundTripsUs;
    int failures = 0;
};

// The call both services answer, with the body the framework sends for an empty list.
std::optional<QByteArray> askForList(Client &client, const Target &target)
{
    static const QByteArray body = XmlList().toBinary();
    return client.request(target.busName, Names::SchedulerListManualTriggersRequest.data(),
                          body.constData());
}

void roundTrip(Client &client, Target &target, bool keep)
{
    QElapsedTimer clock;
    clock.start();
    const bool answered = askForList(client, target).has_value();
    const double us = double(clock.nsecsElapsed()) / 1e3;
    if (keep && answered)
        target.roundTripsUs.push_back(us);
    target.failures += answered ? 0 : 1;
}

// The scheduler has loaded the rule set once its list names a trigger.
bool waitForRuleSet(Client &client, const Target &scheduler)
{
    for (int tries = 0; tries < 500; ++tries) {
        const std::optional<QByteArray> answer = askForList(client, scheduler);
        if (answer && answer->contains("Full"))
            return true;
        QThread::msleep(20);
    }
    return false;
}

// The processor time the service spent per call since cpuMsBefore.
double cpuUsPerCall(const Target &target)
{
    return (cpuMs(target.pid) - target.cpuMsBefore) * 1000.0 / double(target.roundTripsUs.size());
}

void measureRoundTrips(int count, const QProcessEnvironment &schedulerEnvironment,
                       qint64 doNothingPid)
{
    // The scheduler waits for the distributor, which this process plays.
    ChildManager distributor;
    distributor.initialize(1, 1);
    BenchScheduler running(schedulerEnvironment);
    running.announceRuleSet1();
    Client client;
    Target scheduler(Names::Scheduler, running.processId());
    Target doNothing(kDoNothing, doNothingPid);
    if (!client.isUp() || !HubRouter::isReady(MsgAddress(kDoNothing, kDoNothing), 10000)) {
        std::fprintf(stderr, "bench_messaging: the QtDBus service is not up\n");
        return;
    }
    if (!waitForRuleSet(client, scheduler)) {
        std::fprintf(stderr, "bench_messaging: the scheduler did not load its rule set\n");
        return;
    }
    // By turns, so that both see the same load of the shared machine.
    const int warmUp = std::min(kWarmUp, count);
    for (int i = 0; i < warmUp + count; ++i) {
        if (i == warmUp) {
            scheduler.cpuMsBefore = cpuMs(scheduler.pid);
            doNothing.cpuMsBefore = cpuMs(doNothing.pid);
        }
        roundTrip(client, scheduler, i >= warmUp);
        roundTrip(client, doNothing, i >= warmUp);
    }
    if (scheduler.roundTripsUs.empty() || doNothing.roundTripsUs.empty()) {
        std::fprintf(stderr, "bench_messaging: no answers\n");
        return;
    }
    const double schedulerUs = percentile(scheduler.roundTripsUs, 0.5);
    const double doNothingUs = percentile(doNothing.roundTripsUs, 0.5);
    printRow("List round trips to each service", count);
    printRow("List round trip, scheduler median (us)", schedulerUs);
    printRow("List round trip, QtDBus do-nothing median (us)", doNothingUs);
    char goal[16];
    std::snprintf(goal, sizeof goal, "<= %.2f", kRatioGoal);
    std::printf("%-44s %10.2f %10s\n", "ratio scheduler / do-nothing", schedulerUs / doNothingUs,
                goal);
    printRow("CPU per call, scheduler (us)", cpuUsPerCall(scheduler));
    printRow("CPU per call, QtDBus do-nothing (us)", cpuUsPerCall(doNothing));
    printRow("failed calls", scheduler.failures + doNothing.failures);
}

// This process and all it starts run on the last processor it may use.
void useOneProcessor()
{
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return;
    for (int cpu = CPU_SETSIZE - 1; cpu >= 0; --cpu) {
        if (!CPU_ISSET(cpu, &allowed))
            continue;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        ::sched_setaffinity(0, sizeof one, &one);
        return;
    }
}

void startSelf(QProcess &process, const char *mode)
{
    process.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode)});
    process.waitForStarted(10000);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.contains(QStringLiteral("--serve")))
        return Context::run(serve, 3, 0, kPeer, kPeer, kPeer);
    if (args.contains(QStringLiteral("--qtdbus")))
        return serveDoNothing(application);
    const bool smoke = args.filter(QStringLiteral("--benchmark_min_time")).size() > 0;

    useOneProcessor();
    const PrivateBus bus;
    if (!bus.isUp()) {
        std::fprintf(stderr, "bench_messaging: cannot start dbus-daemon\n");
        return 1;
    }
    const QString home = bus.folder() + QStringLiteral("/home");
    qputenv("ORVEL_HOME", home.toUtf8());
    qputenv("ORVEL_LOG_FILE", (bus.folder() + QStringLiteral("/event.log")).toUtf8());
    qputenv("ORVEL_READY_TIMEOUT_S", "10");
    TenThousand::writeRuleSet(home, QDateTime::currentDateTime(), kPolicies);
    // The scheduler alone traces, at the default level, to a file.
    QProcessEnvironment schedulerEnvironment = QProcessEnvironment::systemEnvironment();
    schedulerEnvironment.insert(QStringLiteral("ORVEL_TRACE_LEVEL"), QStringLiteral("2"));
    schedulerEnvironment.insert(QStringLiteral("ORVEL_TRACE_FILE"),
                                bus.folder() + QStringLiteral("/trace.log"));

    QProcess echo;
    QProcess doNothing;
    startSelf(echo, "--serve");
    startSelf(doNothing, "--qtdbus");
    const QString self = Names::Distributor;
    Context::run(
        [&]() {
            std::printf("%-44s %10s %10s\n", "measure", "value", "goal");
            measureFramework(smoke ? kSmokeMessages : kMessages);
            measureRoundTrips(smoke ? kSmokeRoundTrips : kRoundTrips, schedulerEnvironment,
                              doNothing.processId());
        },
        3, 0, self, self, self);
    for (QProcess *process : {&echo, &doNothing}) {
        process->terminate();
        process->waitForFinished(10000);
    }
    return 0;
}

#include "bench_messaging.moc"
