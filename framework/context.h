#pragma once

namespace Orvel {

class Log;

// The process context: what the framework gives a process for its lifetime.
class Context
{
public:
    // The event log. Null when event logging is switched off.
    static Log *logging();
    // Test seam: switch the event log off (and on again).
    static void setLoggingEnabled(bool enabled);
};

} // namespace Orvel
