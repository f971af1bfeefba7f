// The scheduler and orvelmsg as real processes on a private dbus-daemon that
// each test starts and stops itself.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

const QString kBin = QStringLiteral(ORVEL_BIN_DIR);
// Every wait for a process or a file is bounded: a hung run fails instead.
constexpr int kPatienceMs = 15000;
constexpr int kPollMs = 20;

const char kBusConfig[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

class BusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile config(dir.filePath("bus.conf"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QString::fromLatin1(kBusConfig).arg(dir.path()).toUtf8());
        config.close();
        daemon.start(QStringLiteral("dbus-daemon"),
                     {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
        ASSERT_TRUE(daemon.waitForReadyRead(kPatienceMs));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
        environment.insert("ORVEL_BUS", address);
        environment.insert("ORVEL_HOME", dir.filePath("home"));
        environment.insert("ORVEL_LOG_FILE", dir.filePath("event.log"));
        environment.insert("ORVEL_TRACE_FILE", dir.filePath("trace.log"));
        environment.insert("ORVEL_TRACE_LEVEL", "4");
        environment.insert("ORVEL_READY_TIMEOUT_S", "10");
    }

    void TearDown() override
    {
        for (const auto &process : processes) {
            process->kill();
            process->waitForFinished(kPatienceMs);
        }
        daemon.kill();
        daemon.waitForFinished(kPatienceMs);
    }

    QProcess *start(const QString &program, const QStringList &arguments)
    {
        processes.push_back(std::make_unique<QProcess>());
        QProcess *process = processes.back().get();
        process->setProcessEnvironment(environment);
        process->start(kBin + '/' + program, arguments);
        process->waitForStarted(kPatienceMs);
        return process;
    }

    QProcess *listen(const QString &peer) { return start("orvelmsg", {"listen", peer, peer}); }

    // Runs orvelmsg (or dbus-send) to its end; answers its exit code.
    int runToEnd(const QString &program, const QStringList &arguments, QString *output = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program.contains('/') ? program : kBin + '/' + program, arguments);
        process.waitForFinished(kPatienceMs);
        if (output)
            *output = QString::fromUtf8(process.readAll());
        return process.exitCode();
    }

    QString text(const QString &file) const
    {
        QFile in(dir.filePath(file));
        return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
    }

    bool eventually(const std::function<bool()> &condition) const
    {
        for (int waited = 0; waited < kPatienceMs; waited += kPollMs) {
            if (condition())
                return true;
            QThread::msleep(kPollMs);
        }
        return condition();
    }

    bool traceHas(const QString &item) const
    {
        return eventually([&]() { return text("trace.log").contains(item); });
    }

    static bool outputHas(QProcess *process, const QString &item, QString *seen)
    {
        for (int waited = 0; waited < kPatienceMs; waited += kPollMs) {
            process->waitForReadyRead(kPollMs);
            *seen += QString::fromUtf8(process->readAll());
            if (seen->contains(item))
                return true;
        }
        return false;
    }

    QProcess *runningScheduler()
    {
        listen("NodeManager");
        listen("Distributor");
        QProcess *scheduler = start("scheduler", {});
        EXPECT_TRUE(traceHas("Context initialized, create scheduler object"));
        EXPECT_TRUE(eventually(
            [&]() { return text("event.log").contains("State Scheduler/Scheduler 2"); }));
        return scheduler;
    }

    static void expectCleanExit(QProcess *process)
    {
        ASSERT_TRUE(process->waitForFinished(kPatienceMs));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
    }

    QTemporaryDir dir;
    QProcess daemon;
    QString address;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    std::vector<std::unique_ptr<QProcess>> processes;
};

} // namespace

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
