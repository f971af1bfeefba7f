#pragma once

#include <QString>

#include <functional>

namespace Orvel {

class Log;

// The process context: what the framework gives a process for its lifetime.
class Context
{
public:
    // Why run() returned: its answer, and the exit status of a process that
    // returns it from main().
    enum ExitStatus
    {
        Stopped = 0,     // `entry` returned: the hub's shutdown, or its own end
        NoBus = 1,       // the bus could not be reached; `entry` did not run
        BusLost = 2,     // the connection to the bus broke while `entry` ran
        NameRefused = 3, // ChildManager::initialize could not own the bus name
    };

    // Runs `entry` as the process named `name` in `group`: with an event
    // loop, connected to the bus ORVEL_BUS names (unless a test has installed
    // the in-memory transport), with SIGTERM and SIGINT as the hub's
    // shutdown. `type`, `flags` and `title` are kept for callers. Answers an
    // ExitStatus.
    static int run(const std::function<void()> &entry, int type, int flags, const QString &name,
                   const QString &group, const QString &title);
    // The names given to run(): the bus name a ChildManager owns.
    static QString processName();
    static QString groupName();

    // The event log. Null when event logging is switched off.
    static Log *logging();
    // Test seam: switch the event log off (and on again).
    static void setLoggingEnabled(bool enabled);
};

} // namespace Orvel
