// Post throughput and Request round-trip latency between two processes on a
// private dbus-daemon. The program starts the daemon and a second copy of
// itself as the echo peer, then prints a table. With --benchmark_min_time
// (the smoke run of scripts/test) it sends a few hundred messages only.

#include "benchbus.h"
#include "childmanager.h"
#include "context.h"
#include "hubrouter.h"
#include "msg.h"
#include "names.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Orvel;

namespace {

constexpr int kMessages = 10000;
constexpr int kSmokeMessages = 200;
const QString kPeer = QStringLiteral("BenchEcho");

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

void measure(int count)
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
    std::printf("%-28s %12s\n", "measure", "value");
    std::printf("%-28s %12d\n", "messages", count);
    std::printf("%-28s %12.0f\n", "Post throughput (msg/s)", double(count) / postSeconds);
    std::printf("%-28s %12.1f\n", "Request median (us)", percentile(latenciesUs, 0.5));
    std::printf("%-28s %12.1f\n", "Request p99 (us)", percentile(latenciesUs, 0.99));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.contains(QStringLiteral("--serve")))
        return Context::run(serve, 3, 0, kPeer, kPeer, kPeer);
    const bool smoke = args.filter(QStringLiteral("--benchmark_min_time")).size() > 0;

    const PrivateBus bus;
    if (!bus.isUp()) {
        std::fprintf(stderr, "bench_messaging: cannot start dbus-daemon\n");
        return 1;
    }
    QProcess echo;
    echo.start(application.applicationFilePath(), {QStringLiteral("--serve")});
    const QString self = QStringLiteral("BenchClient");
    Context::run([&]() { measure(smoke ? kSmokeMessages : kMessages); }, 3, 0, self, self, self);
    echo.terminate();
    echo.waitForFinished(10000);
    return 0;
}
