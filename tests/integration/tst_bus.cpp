// The scheduler and orvelmsg as real processes on a private dbus-daemon that
// each test starts and stops itself.

#include "bustest.h"

TEST_F(BusTest, WaitsForALateNodeManagerRegistersAndStopsOnSigterm)
{
    QProcess *scheduler = start("scheduler", {});
    ASSERT_TRUE(traceHas("Wait for the node manager to become ready"));
    QThread::msleep(300);
    EXPECT_FALSE(text("trace.log").contains("Wait for the distributor"));
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

struct ReadinessCase
{
    bool nodeManagerThere;
    const char *logLine;
    const char *traceLine;
};

class ReadinessTest : public BusTest, public ::testing::WithParamInterface<ReadinessCase>
{
};

TEST_P(ReadinessTest, APeerThatNeverComesReadyEndsTheProcessWithExitCode0)
{
    const ReadinessCase c = GetParam();
    environment.insert("ORVEL_READY_TIMEOUT_S", "1");
    if (c.nodeManagerThere)
        listen("NodeManager");
    QProcess *scheduler = start("scheduler", {});
    expectCleanExit(scheduler);
    EXPECT_TRUE(text("event.log").contains(QString::fromLatin1(c.logLine)))
        << text("event.log").toStdString();
    const QString trace = text("trace.log");
    EXPECT_TRUE(trace.contains(" 0 schedmain:")) << trace.toStdString();
    EXPECT_TRUE(trace.contains(QString::fromLatin1(c.traceLine))) << trace.toStdString();
    EXPECT_EQ(trace.contains("org.orvel.Distributor.Distributor"), c.nodeManagerThere);
    EXPECT_FALSE(trace.contains("Context initialized"));
}

INSTANTIATE_TEST_SUITE_P(
    Bus, ReadinessTest,
    ::testing::Values(
        ReadinessCase{false, "Replication 4 Node Manager failed to go ready in a timely manner",
                      "Node Manger has not gone ready eMsgResultTimeout"},
        ReadinessCase{true, "Replication 4 Distributor failed to go ready in a timely manner",
                      "Distributor has not gone ready eMsgResultTimeout"}));

TEST_F(BusTest, AMalformedBodyIsRefusedAndTheProcessKeepsServing)
{
    QProcess *scheduler = runningScheduler();
    QString output;
    runToEnd("/usr/bin/dbus-send",
             {"--bus=" + address, "--print-reply", "--dest=org.orvel.Scheduler.Scheduler",
              "/org/orvel/Msg", "org.orvel.Msg1.Request", "string:SchedulerTimer", "string:<a"},
             &output);
    EXPECT_TRUE(output.contains("org.freedesktop.DBus.Error.InvalidArgs")) << output.toStdString();
    EXPECT_FALSE(text("trace.log").contains("There are 0 schedules"));

    // A request that reaches the timer handler, which does not reply.
    EXPECT_EQ(
        runToEnd("orvelmsg", {"request", "Scheduler", "Scheduler", "SchedulerTimer"}, &output), 1);
    EXPECT_TRUE(output.contains("org.orvel.Error.NotHandled")) << output.toStdString();
    EXPECT_TRUE(traceHas("There are 0 schedules"));

    scheduler->terminate();
    expectCleanExit(scheduler);
}

TEST_F(BusTest, ASecondSchedulerLeavesTheNameToTheFirst)
{
    QProcess *first = runningScheduler();
    QProcess *second = start("scheduler", {});
    expectCleanExit(second);
    EXPECT_TRUE(text("event.log").contains("Scheduler is already running"))
        << text("event.log").toStdString();
    QString output;
    EXPECT_EQ(
        runToEnd("orvelmsg", {"request", "Scheduler", "Scheduler", "SchedulerTimer"}, &output), 1);
    EXPECT_TRUE(output.contains("NotHandled")) << output.toStdString();
    EXPECT_EQ(first->state(), QProcess::Running);
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
