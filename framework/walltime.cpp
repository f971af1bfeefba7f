#include "walltime.h"

#include <QByteArray>

#include <algorithm>
#include <cstdlib>

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

// What the last few calls worked out, for one zone. A rule's search asks for
// the same day's window start more than once (a search from a firing at a
// window start is repeated from a millisecond later, and the next search
// starts on that day again), and a daily time probes the offset twelve hours
// after it, where the next day's probes before it: each costs a conversion
// through the zone's rules. TZ names the zone, and what is kept belongs to one
// value of TZ; without TZ the C library may read /etc/localtime anew at any
// time, and nothing is kept.
class Remembered
{
public:
    // What is kept for `zone`, after forgetting what was kept for another.
    static Remembered &forZone(const char *zone)
    {
        thread_local Remembered remembered;
        if (remembered.m_zone != zone) {
            remembered = Remembered();
            remembered.m_zone = zone;
        }
        return remembered;
    }

    // The answer for `date` and `time`, or null.
    const QDateTime *find(const QDate &date, const QTime &time) const
    {
        const Answer *answer = answerFor(date, time);
        return answer ? &answer->instant : nullptr;
    }

    // The milliseconds since the epoch of `instant` when it is a kept answer,
    // or null. Told by its wall time first: comparing local times of two
    // offsets converts both through the zone's rules.
    const qint64 *epochMsOf(const QDateTime &instant) const
    {
        const Answer *answer = answerFor(instant.date(), instant.time());
        return answer && answer->instant == instant ? &answer->epochMs : nullptr;
    }

    void keep(const QDate &date, const QTime &time, qint64 epochMs, const QDateTime &instant)
    {
        m_answers[m_next] = {date, time, epochMs, instant};
        m_next = (m_next + 1) % kAnswers;
    }

    // offsetMsAt(), answered again for the instant it was last asked about.
    qint64 offsetAt(qint64 utcMs)
    {
        if (!m_probed || utcMs != m_probeMs) {
            m_probeOffsetMs = offsetMsAt(utcMs);
            m_probeMs = utcMs;
            m_probed = true;
        }
        return m_probeOffsetMs;
    }

private:
    static constexpr int kAnswers = 4;
    struct Answer
    {
        QDate date;
        QTime time;
        qint64 epochMs = 0;
        QDateTime instant;
    };

    const Answer *answerFor(const QDate &date, const QTime &time) const
    {
        for (const Answer &answer : m_answers) {
            if (answer.instant.isValid() && answer.date == date && answer.time == time)
                return &answer;
        }
        return nullptr;
    }
    QByteArray m_zone;
    Answer m_answers[kAnswers];
    int m_next = 0;
    bool m_probed = false;
    qint64 m_probeMs = 0;
    qint64 m_probeOffsetMs = 0;
};

// The instant, in milliseconds since the epoch, at which the local clock
// shows `wall` (a wall time read as if UTC), by the rule of the class
// comment; `remembered` keeps the last probe of the offset, when given.
qint64 instantOfWallTime(qint64 wall, Remembered *remembered)
{
    ::tzset(); // follow TZ as QDateTime does
    const auto probe = [remembered](qint64 utcMs) {
        return remembered ? remembered->offsetAt(utcMs) : offsetMsAt(utcMs);
    };
    const qint64 offsetBefore = probe(wall - kOffsetReachMs);
    const qint64 offsetAfter = probe(wall + kOffsetReachMs);
    // The same offset on both sides: no change near this time, read it plainly.
    if (offsetBefore == offsetAfter)
        return wall - offsetBefore;
    // Read with the larger offset the wall time is the earlier instant; when
    // it exists twice that is its first occurrence.
    const qint64 larger = std::max(offsetBefore, offsetAfter);
    const qint64 smaller = std::min(offsetBefore, offsetAfter);
    if (showsWallTime(wall, larger))
        return wall - larger;
    if (showsWallTime(wall, smaller))
        return wall - smaller;
    return endOfGap(wall - larger, wall - smaller);
}

} // namespace

QDateTime WallTime::at(const QDate &date, const QTime &time)
{
    // Qt would read an invalid time as midnight: refuse it instead.
    if (!time.isValid() || !date.isValid())
        return QDateTime();
    const char *zone = std::getenv("TZ");
    Remembered *remembered = zone ? &Remembered::forZone(zone) : nullptr;
    if (const QDateTime *known = remembered ? remembered->find(date, time) : nullptr)
        return *known;
    const QDateTime asUtc(date, time, Qt::UTC);
    if (!asUtc.isValid())
        return QDateTime();
    const qint64 epochMs = instantOfWallTime(asUtc.toMSecsSinceEpoch(), remembered);
    const QDateTime instant = QDateTime::fromMSecsSinceEpoch(epochMs);
    if (remembered)
        remembered->keep(date, time, epochMs, instant);
    return instant;
}

QDateTime WallTime::after(const QDateTime &t, qint64 milliseconds)
{
    const char *zone = std::getenv("TZ");
    const qint64 *epochMs = zone && t.isValid() && t.timeSpec() == Qt::LocalTime
                                ? Remembered::forZone(zone).epochMsOf(t)
                                : nullptr;
    return epochMs ? QDateTime::fromMSecsSinceEpoch(*epochMs + milliseconds)
                   : t.addMSecs(milliseconds);
}

} // namespace Orvel
