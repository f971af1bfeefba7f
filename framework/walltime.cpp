#include "walltime.h"

#include <algorithm>

#include <time.h>

namespace Orvel {

namespace {

// No zone changes its offset twice within this span, so the offsets in force
// this long before and after a wall time are the only ones it can be read in.
constexpr qint64 kOffsetReachMs = 12 * 3600 * 1000;

// A gap is at most a few hours wide: halving it down to one second takes
// about 14 steps; the bound only guards against a clock that never settles.
constexpr int kMaxGapHalvings = 64;

// The local clock's offset from UTC at an instant, straight from the C
// library that QDateTime's local time rests on: three times cheaper than a
// QDateTime round trip, and rules ask this a few hundred times per search.
qint64 offsetMsAt(qint64 utcMs)
{
    const time_t seconds = time_t(utcMs >= 0 ? utcMs / 1000 : (utcMs - 999) / 1000);
    struct tm parts = {};
    if (!::localtime_r(&seconds, &parts))
        return 0;
    return qint64(parts.tm_gmtoff) * 1000;
}

// Whether the local clock shows the wall time `wallMs` (read as if UTC) at
// the instant `wallMs - offsetMs`.
bool showsWallTime(qint64 wallMs, qint64 offsetMs)
{
    return offsetMsAt(wallMs - offsetMs) == offsetMs;
}

// The first instant in (before, after] at which the offset differs from the
// one in force at `before`: the end of a gap, rounded to whole seconds as
// every zone's transitions are.
qint64 endOfGap(qint64 before, qint64 after)
{
    const qint64 offsetBefore = offsetMsAt(before);
    for (int i = 0; i < kMaxGapHalvings && after - before > 1000; ++i) {
        const qint64 middle = before + (after - before) / 2;
        if (offsetMsAt(middle) == offsetBefore)
            before = middle;
        else
            after = middle;
    }
    return after - (after % 1000 + 1000) % 1000;
}

} // namespace

QDateTime WallTime::at(const QDate &date, const QTime &time)
{
    // Qt would read an invalid time as midnight: refuse it instead.
    if (!time.isValid())
        return QDateTime();
    const QDateTime asUtc(date, time, Qt::UTC);
    if (!asUtc.isValid())
        return QDateTime();
    const qint64 wall = asUtc.toMSecsSinceEpoch();
    ::tzset(); // follow TZ as QDateTime does
    const qint64 offsetBefore = offsetMsAt(wall - kOffsetReachMs);
    const qint64 offsetAfter = offsetMsAt(wall + kOffsetReachMs);
    // The same offset on both sides: no change near this time, read it plainly.
    if (offsetBefore == offsetAfter)
        return QDateTime::fromMSecsSinceEpoch(wall - offsetBefore);
    // Read with the larger offset the wall time is the earlier instant; when
    // it exists twice that is its first occurrence.
    const qint64 larger = std::max(offsetBefore, offsetAfter);
    const qint64 smaller = std::min(offsetBefore, offsetAfter);
    if (showsWallTime(wall, larger))
        return QDateTime::fromMSecsSinceEpoch(wall - larger);
    if (showsWallTime(wall, smaller))
        return QDateTime::fromMSecsSinceEpoch(wall - smaller);
    return QDateTime::fromMSecsSinceEpoch(endOfGap(wall - larger, wall - smaller));
}

} // namespace Orvel
