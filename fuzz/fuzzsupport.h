#pragma once

// What the scheduler's fuzz targets share: a process set up like a unit
// test's, and one way to report a broken property.

#include "fixedpath.h"
#include "trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace FuzzSupport {

// The rule set the targets write their rules files into.
constexpr quint32 kRuleSet = 1;

inline QString rulesFolder()
{
    return Orvel::FixedPath::rules(kRuleSet) + QLatin1Char('/');
}

// Pins the zone to one with daylight saving, where time arithmetic goes
// wrong; turns tracing off, since refusals are expected by the million and
// writing their lines would only slow the search down; and points
// ORVEL_HOME at a temporary folder, one per process, holding the rules
// folder and its subfolder "sub". The files in it are rewritten per input,
// in memory where /dev/shm allows: a file system on disk flushes each
// truncated file when it is closed, which would cost most of the time.
inline void prepareProcess()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
    qputenv("ORVEL_TRACE_LEVEL", "-1");
    Orvel::Trace::configure();
    const QString inMemory = QStringLiteral("/dev/shm");
    static QTemporaryDir home(QFileInfo(inMemory).isWritable()
                                  ? inMemory + QStringLiteral("/orvel-fuzz-XXXXXX")
                                  : QString());
    qputenv("ORVEL_HOME", QFile::encodeName(home.path()));
    if (!home.isValid() || !QDir().mkpath(rulesFolder() + QStringLiteral("sub"))) {
        std::fprintf(stderr, "cannot make the temporary rules folder\n");
        std::abort();
    }
}

// Replaces the file at `name` inside the rules folder.
inline void writeRulesFile(const QString &name, const QByteArray &text)
{
    QFile file(rulesFolder() + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::abort();
    }
}

// A broken property: what broke, the input's instants or names, then abort,
// so that libFuzzer keeps the input.
[[noreturn]] inline void fail(const char *target, const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s: %s: %s\n", target, what, qPrintable(detail));
    std::abort();
}

inline QString shown(const QDateTime &at)
{
    return at.isValid() ? at.toString(Qt::ISODateWithMs) : QStringLiteral("none");
}

} // namespace FuzzSupport
