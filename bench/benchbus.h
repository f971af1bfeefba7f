#pragma once

// Helpers of the benchmark drivers that run real processes on a private bus.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

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
