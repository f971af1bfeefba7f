#pragma once

#include <QString>

namespace Orvel {

// Named one-shot timers. The expiry arrives through the delivery queue as a
// message called like the timer; `data`, when not empty, is its "Data" text.
// Timers are precise: they do not drift late by a fraction of the interval.
class Timer
{
public:
    // Arms `name` for `milliseconds`, replacing a pending timer of that name
    // and an expiry of it not yet delivered.
    static bool set(const QString &name, quint32 milliseconds, const QString &data);
    static bool cancel(const QString &name);
};

} // namespace Orvel
