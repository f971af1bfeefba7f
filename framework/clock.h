#pragma once

#include <QDateTime>

namespace Orvel {

// The one source of "now" for everything built on the framework. Production
// code reads the system clock through it; tests pin it and move it by hand.
class Clock
{
public:
    static QDateTime now();

    // Without TZ the C library looks at /etc/localtime again on every
    // conversion, which makes date arithmetic about twenty times slower. When
    // TZ is unset this points it at that file once; the zone is then read at
    // start and a change of the system's zone takes effect on restart.
    static void settleZone();

    // Test seam: freeze "now" at the given instant until useSystem().
    static void setNow(const QDateTime &instant);
    // Test seam: move a frozen clock forward (or back, with a negative count).
    static void advance(qint64 milliseconds);
    static void useSystem();
    static bool isFrozen();

    // Holds now() at the instant it answered when the hold began, until the
    // hold ends: work that must see one "now" throughout takes it once. What
    // the clock was before, frozen or not, comes back at the end; holds nest.
    class Hold
    {
    public:
        Hold();
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        QDateTime m_before;
    };
};

} // namespace Orvel
