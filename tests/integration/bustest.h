#pragma once

// A private dbus-daemon for one test, and the real scheduler and orvelmsg
// processes started on it. Everything is stopped when the test ends.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

inline const QString kBin = QStringLiteral(ORVEL_BIN_DIR);
// Every wait for a process or a file is bounded: a hung run fails instead.
inline constexpr int kPatienceMs = 15000;
inline constexpr int kPollMs = 20;

inline constexpr char kBusConfig[] =
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
        startDaemon(QString::fromLatin1(kBusConfig).arg(dir.path()));
        environment.insert("ORVEL_HOME", dir.filePath("home"));
        environment.insert("ORVEL_LOG_FILE", dir.filePath("event.log"));
        environment.insert("ORVEL_TRACE_FILE", dir.filePath("trace.log"));
        environment.insert("ORVEL_TRACE_LEVEL", "4");
        environment.insert("ORVEL_READY_TIMEOUT_S", "10");
    }

    // Starts the private dbus-daemon on `config`; the processes started use it.
    void startDaemon(const QString &config)
    {
        writeFile("bus.conf", config.toUtf8());
        daemon.start(QStringLiteral("dbus-daemon"), {"--config-file=" + dir.filePath("bus.conf"),
                                                     "--nofork", "--print-address=1"});
        ASSERT_TRUE(daemon.waitForReadyRead(kPatienceMs));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
        environment.insert("ORVEL_BUS", address);
    }

    // Writes `text` to `path` below the test's folder, creating folders.
    void writeFile(const QString &path, const QByteArray &text) const
    {
        QDir().mkpath(QFileInfo(dir.filePath(path)).path());
        QFile file(dir.filePath(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
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
        // The scheduler starts the programs it names relative to its own
        // working directory: the test's folder.
        process->setWorkingDirectory(dir.path());
        process->start(kBin + '/' + program, arguments);
        process->waitForStarted(kPatienceMs);
        return process;
    }

    // orvelmsg playing `peer`, once it owns the peer's bus name: a post sent
    // before then would reach nobody.
    QProcess *listen(const QString &peer)
    {
        QProcess *process = start("orvelmsg", {"listen", peer, peer});
        const QString name = "string:org.orvel." + peer + '.' + peer;
        EXPECT_TRUE(eventually([&]() {
            QString answer;
            runToEnd("/usr/bin/dbus-send",
                     {"--bus=" + address, "--print-reply", "--dest=org.freedesktop.DBus",
                      "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", name},
                     &answer);
            return answer.contains("boolean true");
        })) << qPrintable(peer);
        return process;
    }

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

    // The scheduler with both peers listening, once it asked for rule sets.
    QProcess *runningScheduler()
    {
        nodeManager = listen("NodeManager");
        distributor = listen("Distributor");
        return startScheduler();
    }

    // Starts the scheduler and waits until it asked the node manager for
    // rule sets: by then it owns its name and serves its messages.
    QProcess *startScheduler()
    {
        const int before = registrations.count("NodeMgrRegisterNotifyRulesIdPost");
        QProcess *scheduler = start("scheduler", {});
        EXPECT_TRUE(eventually([&]() {
            nodeManager->waitForReadyRead(kPollMs);
            registrations += QString::fromUtf8(nodeManager->readAll());
            return registrations.count("NodeMgrRegisterNotifyRulesIdPost") > before;
        }));
        return scheduler;
    }

    static void expectCleanExit(QProcess *process, int exitCode = 0)
    {
        ASSERT_TRUE(process->waitForFinished(kPatienceMs));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), exitCode);
    }

    QTemporaryDir dir;
    QProcess daemon;
    QString address;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    std::vector<std::unique_ptr<QProcess>> processes;
    QProcess *nodeManager = nullptr;
    QProcess *distributor = nullptr;
    QString registrations; // what the node manager received so far
};
