#pragma once

// Helpers of the benchmark drivers that run real processes on a private bus.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

#include <unistd.h>

// A private dbus-daemon in a temporary folder, for the life of the object.
// Processes started meanwhile find it through ORVEL_BUS; tracing is off.
class PrivateBus
{
public:
    PrivateBus()
    {
        daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1",
                                                     "--address=unix:dir=" + dir.path()});
        if (daemon.waitForReadyRead(10000))
            address = QString::fromUtf8(daemon.readLine()).trimmed();
        qputenv("ORVEL_BUS", address.toUtf8());
        qputenv("ORVEL_TRACE_LEVEL", "-1");
    }
    ~PrivateBus()
    {
        daemon.terminate();
        daemon.waitForFinished(10000);
    }
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool isUp() const { return !address.isEmpty(); }
    QString folder() const { return dir.path(); }

private:
    QTemporaryDir dir;
    QProcess daemon;
    QString address;
};

inline double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.at(std::min(values.size() - 1, size_t(fraction * double(values.size()))));
}

// The processor time `pid` has used so far, in milliseconds.
inline double cpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // The fields after the command name, which ends with the last ')'.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble(); // utime, stime
    return ticks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

// Writes `text` to `path`, creating its folder.
inline void writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

// Starts a program of the build's bin/ folder: arguments.first() names it.
inline void startProgram(QProcess &process, const QStringList &arguments)
{
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/") + arguments.first(),
                  arguments.mid(1));
    process.waitForStarted(10000);
}

// The real scheduler, with orvelmsg as its node manager, for the life of the
// object. Construction returns once the scheduler asked for rule sets; the
// caller must play the distributor already, or the scheduler waits for it.
class BenchScheduler
{
public:
    explicit BenchScheduler(
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        startProgram(nodeManager, {"orvelmsg", "listen", "NodeManager", "NodeManager"});
        scheduler.setProcessEnvironment(environment);
        startProgram(scheduler, {"scheduler"});
        while (!nodeManager.readAll().contains("NodeMgrRegisterNotifyRulesIdPost") &&
               nodeManager.waitForReadyRead(10000)) {
        }
    }
    ~BenchScheduler()
    {
        for (QProcess *process : {&scheduler, &nodeManager}) {
            process->terminate();
            process->waitForFinished(10000);
        }
    }
    BenchScheduler(const BenchScheduler &) = delete;
    BenchScheduler &operator=(const BenchScheduler &) = delete;

    qint64 processId() const { return scheduler.processId(); }

    // The node manager's announcement of rule set 1.
    void announceRuleSet1()
    {
        QProcess announce;
        startProgram(announce,
                     {"orvelmsg", "post", "Scheduler", "Scheduler", "NodeMgrNotifyRulesIdPost",
                      "<b><RulesId type=\"uint\">1</RulesId></b>"});
        announce.waitForFinished(10000);
    }

private:
    QProcess nodeManager;
    QProcess scheduler;
};
