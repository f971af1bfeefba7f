#pragma once

#include <QString>

namespace Orvel {

// SIGHUP as a message. After deliverAs(name) every SIGHUP puts the timer
// message `name` into the process's queue, so its handler runs on the entry
// thread between other messages, never inside the signal handler. Call it
// from within Context::run.
class Hangup
{
public:
    // Answers false when the signal cannot be routed (no pipe).
    static bool deliverAs(const QString &messageName);
};

} // namespace Orvel
