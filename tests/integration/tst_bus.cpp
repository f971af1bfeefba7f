// The scheduler's life as a process on a private dbus-daemon: readiness,
// shutdown, a second instance, a lost bus, and what the tools refuse.

#include "bustest.h"

TEST_F(BusTest, WaitsForLatePeersAndStopsCleanly)
{
    QProcess *stopped = start("scheduler", {});
    QProcess *scheduler = start("scheduler", {});
    ASSERT_TRUE(
        eventually([&]() { return text("trace.log").count("Wait for the node manager") == 2; }));
    // A stop while waiting is no failure of the peer.
    stopped->terminate();
    expectExit(stopped, 0);
    EXPECT_FALSE(text("event.log").contains("failed to go ready"));
    nodeManager = listen("NodeManager");
    listen("Distributor");
    EXPECT_TRUE(outputHas(nodeManager, "NodeMgrRegisterNotifyRulesIdPost", &registrations));
    scheduler->terminate();
    expectExit(scheduler, 0);
    const QString log = text("event.log");
    EXPECT_GT(log.indexOf("State Scheduler/Scheduler 3"),
              log.indexOf("State Scheduler/Scheduler 2"));
    EXPECT_GE(log.indexOf("State Scheduler/Scheduler 2"), 0);
}

// The node manager first, then the distributor: a peer that never comes ready
// ends the process with exit code 0 and an event saying which one it was.
TEST_F(BusTest, APeerThatNeverComesReadyEndsTheProcessWithExitCode0)
{
    environment.insert("ORVEL_READY_TIMEOUT_S", "1");
    for (const char *peer : {"NodeManager", "Distributor"}) {
        expectExit(start("scheduler", {}), 0);
        const QString logged = QString(peer).replace("NodeManager", "Node Manager");
        EXPECT_TRUE(text("event.log").contains("Replication 4 " + logged + " failed to go ready"))
            << text("event.log").toStdString();
        listen(peer);
    }
}

TEST_F(BusTest, ASecondSchedulerLeavesAndTheFirstKeepsServing)
{
    QProcess *scheduler = runningScheduler();
    const Outcome malformed =
        run("/usr/bin/dbus-send",
            {"--bus=" + address, "--print-reply", "--dest=org.orvel.Scheduler.Scheduler",
             "/org/orvel/Msg", "org.orvel.Msg1.Request", "string:SchedulerTimer", "string:<a"});
    EXPECT_TRUE(malformed.err.contains("org.freedesktop.DBus.Error.InvalidArgs"));

    expectExit(start("scheduler", {}), 3);
    EXPECT_TRUE(text("event.log").contains("Scheduler is already running"));
    // Posted after the second one left, this arrives after anything it posted.
    run("orvelmsg", {"post", "NodeManager", "NodeManager", "Marker"});
    EXPECT_TRUE(outputHas(nodeManager, "Marker", &registrations));
    EXPECT_EQ(registrations.count("NodeMgrRegisterNotifyRulesIdPost"), 1);
    // The first still answers: its timer handler takes the request, and replies nothing.
    const Outcome request =
        run("orvelmsg", {"request", "Scheduler", "Scheduler", "SchedulerTimer"});
    EXPECT_EQ(request.code, 1);
    EXPECT_TRUE(request.err.contains("org.orvel.Error.NotHandled")) << request.err.toStdString();
    scheduler->terminate();
    expectExit(scheduler, 0);
}

// Both end with a failure status, so that systemd starts the scheduler again.
TEST_F(BusTest, ALostBusOrARefusedNameEndsTheSchedulerWithAFailureStatus)
{
    QProcess *scheduler = runningScheduler();
    daemon.kill();
    expectExit(scheduler, 2);
    EXPECT_TRUE(text("event.log").contains("Scheduler lost its connection to the message bus"));

    daemon.waitForFinished(kPatienceMs);
    startDaemon(QString(kBusConfig)
                    .arg(dir.path())
                    .replace("<allow own=\"*\"/>",
                             "<allow own=\"*\"/><deny own_prefix=\"org.orvel.Scheduler\"/>"));
    listen("NodeManager");
    listen("Distributor");
    expectExit(start("scheduler", {}), 3);
    EXPECT_TRUE(text("event.log")
                    .contains("Scheduler cannot own bus name "
                              "org.orvel.Scheduler.Scheduler "
                              "(org.freedesktop.DBus.Error.AccessDenied"));
}

// What the tools refuse, each with exit code 2 and its reason on stderr.
TEST_F(BusTest, ToolsRefuseWhatTheyCannotDo)
{
    const std::tuple<const char *, QStringList, const char *> cases[] = {
        {"orvelmsg", {"post", "NodeManager", "NodeManager", "X", "<a"}, "not well-formed"},
        {"orvelmsg", {"post", "Nobody", "Nobody", "X"}, "no process owns org.orvel.Nobody.Nobody"},
        {"orvelmsg", {"listen", "Nobody"}, "usage: orvelmsg"},
        {"schedctl", {"trigger", "Full now"}, "schedctl: the scheduler is not running"},
    };
    for (const auto &[program, arguments, reason] : cases) {
        const Outcome outcome = run(program, arguments);
        EXPECT_EQ(outcome.code, 2) << program << ' ' << arguments.join(' ').toStdString();
        EXPECT_TRUE(outcome.err.contains(reason)) << outcome.err.toStdString();
    }
}
