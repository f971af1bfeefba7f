#pragma once

// Helpers of the benchmark drivers that run real processes on a private bus.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

// Starts a private dbus-daemon listening in `dir`; answers its address, or an
// empty text when it did not come up.
inline QString startDaemon(QProcess &daemon, const QTemporaryDir &dir)
{
    daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1",
                                                 "--address=unix:dir=" + dir.path()});
    if (!daemon.waitForReadyRead(10000))
        return QString();
    return QString::fromUtf8(daemon.readLine()).trimmed();
}

inline double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.at(std::min(values.size() - 1, size_t(fraction * double(values.size()))));
}
