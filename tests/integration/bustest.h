#pragma once

// A private dbus-daemon for one test, and the real programs started on it.
// Everything is stopped when the test ends, and every wait is bounded: a hung
// run fails instead of hanging.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

inline const QString kBin = QStringLiteral(ORVEL_BIN_DIR);
inline const QString kSource = QStringLiteral(ORVEL_SOURCE_DIR);
inline constexpr int kPatienceMs = 15000;

// A session bus that lets every process own any name and call any other.
inline const QString kBusConfig = QStringLiteral(
    "<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
    "<policy context=\"default\"><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
    "<allow own=\"*\"/></policy></busconfig>");

struct Outcome
{
    int code = -1;
    QString out;
    QString err;
};

class BusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startDaemon(QString(kBusConfig).arg(dir.path()));
        environment.insert("ORVEL_HOME", dir.filePath("home"));
        environment.insert("ORVEL_LOG_FILE", dir.filePath("event.log"));
        environment.insert("ORVEL_TRACE_FILE", dir.filePath("trace.log"));
        environment.insert("ORVEL_TRACE_LEVEL", "3");
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

    // Starts the private dbus-daemon on `config`; the programs started use it.
    void startDaemon(const QString &config)
    {
        writeFile("bus.conf", config.toUtf8());
        daemon.start("dbus-daemon", {"--config-file=" + dir.filePath("bus.conf"), "--nofork",
                                     "--print-address=1"});
        ASSERT_TRUE(daemon.waitForReadyRead(kPatienceMs));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        environment.insert("ORVEL_BUS", address);
    }

    // Writes `bytes` to `path` below the test's folder, creating folders.
    void writeFile(const QString &path, const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(dir.filePath(path)).path());
        QFile file(dir.filePath(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QString text(const QString &path) const
    {
        QFile in(dir.filePath(path));
        return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
    }

    // The example home, with the snapshot program in the working directory.
    void useExamples()
    {
        ASSERT_EQ(run("/bin/cp", {"-r", kSource + "/examples/home", dir.filePath("home")}).code, 0);
        ASSERT_EQ(run("/bin/cp", {kSource + "/examples/home/quenrod.exe", dir.path()}).code, 0);
    }

    // `program` is one of ours by name, or a path. The scheduler starts the
    // programs it names from its working directory: the test's folder.
    QProcess *start(const QString &program, const QStringList &arguments)
    {
        processes.push_back(std::make_unique<QProcess>());
        QProcess *process = processes.back().get();
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(dir.path());
        process->start(program.contains('/') ? program : kBin + '/' + program, arguments);
        process->waitForStarted(kPatienceMs);
        return process;
    }

    Outcome run(const QString &program, const QStringList &arguments, int patienceMs = kPatienceMs)
    {
        QProcess *process = start(program, arguments);
        Outcome outcome;
        if (process->waitForFinished(patienceMs))
            outcome.code = process->exitCode();
        outcome.out = QString::fromUtf8(process->readAllStandardOutput());
        outcome.err = QString::fromUtf8(process->readAllStandardError());
        return outcome;
    }

    // Runs schedctl with each row's arguments: its exit code, and `expected` is
    // part of what it prints; an error is one line on stderr and nothing else.
    void expectSchedctlAnswers(const std::vector<std::tuple<QStringList, int, const char *>> &rows)
    {
        for (const auto &[arguments, code, expected] : rows) {
            const Outcome outcome = run("schedctl", arguments);
            EXPECT_EQ(outcome.code, code) << arguments.join(' ').toStdString();
            EXPECT_TRUE((outcome.out + outcome.err).contains(expected))
                << arguments.join(' ').toStdString() << '\n'
                << outcome.out.toStdString() << outcome.err.toStdString();
            EXPECT_EQ(outcome.err.count('\n'), outcome.out.isEmpty() && code ? 1 : 0);
        }
    }

    static bool eventually(const std::function<bool()> &condition)
    {
        QElapsedTimer waited;
        waited.start();
        while (!condition()) {
            if (waited.hasExpired(kPatienceMs))
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    // Whether `process` printed `item`; `seen` collects what it printed.
    static bool outputHas(QProcess *process, const QString &item, QString *seen)
    {
        return eventually([&]() {
            process->waitForReadyRead(20);
            *seen += QString::fromUtf8(process->readAllStandardOutput());
            return seen->contains(item);
        });
    }

    // orvelmsg playing `peer`, once it owns the peer's bus name (a post finds
    // an owner): a post sent before then would reach nobody.
    QProcess *listen(const QString &peer)
    {
        QProcess *process = start("orvelmsg", {"listen", peer, peer});
        EXPECT_TRUE(eventually([&]() {
            return run("orvelmsg", {"post", peer, peer, "Hello"}).code == 0;
        })) << qPrintable(peer);
        return process;
    }

    // The scheduler with both peers listening, once it asked the node manager
    // for rule sets: by then it owns its name and serves its messages.
    QProcess *runningScheduler()
    {
        nodeManager = listen("NodeManager");
        listen("Distributor");
        QProcess *scheduler = start("scheduler", {});
        EXPECT_TRUE(outputHas(nodeManager, "NodeMgrRegisterNotifyRulesIdPost", &registrations));
        return scheduler;
    }

    static void expectExit(QProcess *process, int exitCode)
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
    QString registrations; // what the listening node manager printed so far
};
