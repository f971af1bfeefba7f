// The scheduler and orvelmsg as real processes on a private dbus-daemon that
// each test starts and stops itself.

#include "bustest.h"

TEST_F(BusTest, WaitsForALateNodeManagerRegistersAndStopsOnSigterm)
{
    QProcess *scheduler = start("scheduler", {});
    QProcess *stopped = start("scheduler", {});
    ASSERT_TRUE(traceHas("Wait for the node manager to become ready"));
    QThread::msleep(300);
    EXPECT_FALSE(text("trace.log").contains("Wait for the distributor"));
    // A stop while waiting is no failure of the peer.
    stopped->terminate();
    expectCleanExit(stopped);
    EXPECT_TRUE(traceHas("Stopped while waiting for NodeManager"));
    EXPECT_FALSE(text("event.log").contains("failed to go ready"));
    QProcess *nodeManager = listen("NodeManager");
    listen("Distributor");
    QString seen;
    EXPECT_TRUE(outputHas(nodeManager, "NodeMgrRegisterNotifyRulesIdPost", &seen))
        << seen.toStdString();
    EXPECT_TRUE(traceHas("Context initialized, create scheduler object"));

    scheduler->terminate();
    expectCleanExit(scheduler);
    const QString log = text("event.log");
    const int started = log.indexOf("State Scheduler/Scheduler 2");
    EXPECT_GE(started, 0);
    EXPECT_GT(log.indexOf("State Scheduler/Scheduler 3"), started);
    EXPECT_TRUE(text("trace.log").contains("SchedList initialized, scheduler process exiting"));
}

// The node manager first, then the distributor: a peer that never comes
// ready ends the process with exit code 0 and says which one it was.
TEST_F(BusTest, APeerThatNeverComesReadyEndsTheProcessWithExitCode0)
{
    environment.insert("ORVEL_READY_TIMEOUT_S", "1");
    const struct
    {
        const char *logLine;
        const char *traceLine;
    } peers[] = {{"Replication 4 Node Manager failed to go ready in a timely manner",
                  "Node Manger has not gone ready eMsgResultTimeout"},
                 {"Replication 4 Distributor failed to go ready in a timely manner",
                  "Distributor has not gone ready eMsgResultTimeout"}};
    for (const auto &peer : peers) {
        expectCleanExit(start("scheduler", {}));
        EXPECT_TRUE(text("event.log").contains(peer.logLine)) << text("event.log").toStdString();
        const QString trace = text("trace.log");
        EXPECT_TRUE(trace.contains(" 0 schedmain:")) << trace.toStdString();
        EXPECT_TRUE(trace.contains(peer.traceLine)) << trace.toStdString();
        EXPECT_FALSE(trace.contains("Context initialized"));
        EXPECT_EQ(trace.contains("org.orvel.Distributor.Distributor"), &peer == &peers[1]);
        listen("NodeManager");
    }
}

TEST_F(BusTest, AMalformedBodyIsRefusedASecondSchedulerLeavesAndTheFirstKeepsServing)
{
    QProcess *scheduler = runningScheduler();
    QString output;
    runToEnd("/usr/bin/dbus-send",
             {"--bus=" + address, "--print-reply", "--dest=org.orvel.Scheduler.Scheduler",
              "/org/orvel/Msg", "org.orvel.Msg1.Request", "string:SchedulerTimer", "string:<a"},
             &output);
    EXPECT_TRUE(output.contains("org.freedesktop.DBus.Error.InvalidArgs")) << output.toStdString();
    EXPECT_FALSE(text("trace.log").contains("There are 0 schedules"));

    QProcess *second = start("scheduler", {});
    expectCleanExit(second, 3);
    EXPECT_TRUE(text("event.log").contains("Scheduler is already running"))
        << text("event.log").toStdString();
    // Posted after the second one left, this arrives after anything it posted.
    runToEnd("orvelmsg", {"post", "NodeManager", "NodeManager", "Marker"});
    EXPECT_TRUE(outputHas(nodeManager, "Marker", &registrations));
    EXPECT_EQ(registrations.count("NodeMgrRegisterNotifyRulesIdPost"), 1);

    // A request that reaches the first one's timer handler, which does not reply.
    EXPECT_EQ(
        runToEnd("orvelmsg", {"request", "Scheduler", "Scheduler", "SchedulerTimer"}, &output), 1);
    EXPECT_TRUE(output.contains("org.orvel.Error.NotHandled")) << output.toStdString();
    EXPECT_TRUE(traceHas("There are 0 schedules"));

    scheduler->terminate();
    expectCleanExit(scheduler);
}

TEST_F(BusTest, OrvelmsgRefusesABodyThatDoesNotParseAndReportsAMissingPeer)
{
    QProcess *nodeManager = listen("NodeManager");
    QString output;
    EXPECT_EQ(runToEnd("orvelmsg", {"post", "NodeManager", "NodeManager", "X", "<a"}, &output), 2);
    EXPECT_TRUE(output.contains("not well-formed")) << output.toStdString();
    EXPECT_EQ(runToEnd("orvelmsg", {"post", "Nobody", "Nobody", "X"}, &output), 2);
    EXPECT_TRUE(output.contains("no process owns org.orvel.Nobody.Nobody")) << output.toStdString();
    EXPECT_EQ(runToEnd("orvelmsg", {"post", "NodeManager", "NodeManager", "Hello",
                                    "<b><N type=\"uint\">3</N></b>"}),
              0);
    QString seen;
    EXPECT_TRUE(outputHas(nodeManager, "Hello <b><N type=\"uint\">3</N></b>", &seen))
        << seen.toStdString();
    EXPECT_FALSE(seen.contains(" X "));
}

// Both leave with a failure status, so that systemd starts the scheduler again.
TEST_F(BusTest, ALostBusOrARefusedNameEndsTheSchedulerWithAFailureStatus)
{
    QProcess *scheduler = runningScheduler();
    daemon.kill();
    expectCleanExit(scheduler, 2);
    EXPECT_TRUE(text("trace.log").contains(" 0 dbustransport:"));
    EXPECT_TRUE(text("trace.log").contains("Lost the connection to the message bus - exiting"));
    EXPECT_TRUE(text("event.log").contains("Scheduler lost its connection to the message bus"));

    daemon.waitForFinished(kPatienceMs);
    startDaemon(QString::fromLatin1(kBusConfig)
                    .arg(dir.path())
                    .replace("<allow own=\"*\"/>", "<allow own=\"*\"/><deny own_prefix="
                                                   "\"org.orvel.Scheduler\"/>"));
    nodeManager = listen("NodeManager");
    listen("Distributor");
    expectCleanExit(start("scheduler", {}), 3);
    const QString log = text("event.log");
    EXPECT_TRUE(log.contains("Scheduler cannot own bus name org.orvel.Scheduler.Scheduler "
                             "(org.freedesktop.DBus.Error.AccessDenied"))
        << log.toStdString();
    EXPECT_EQ(log.count("already running"), 0);
}
