#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace Orvel {

// Local wall-clock times, with one rule for the hours that daylight saving
// skips or repeats:
// - a time of day that does not exist on a date (inside a spring-forward
//   gap) means the first valid instant after it, the end of the gap;
// - a time of day that exists twice (inside a fall-back overlap) means its
//   first occurrence.
// So a daily time never vanishes for a day and never happens twice in it.
class WallTime
{
public:
    // The local instant at which the clock on `date` shows `time`, by the rule
    // above; invalid when either argument is invalid or the instant is out of
    // the range a QDateTime can hold.
    [[nodiscard]] static QDateTime at(const QDate &date, const QTime &time);
    // t.addMSecs(milliseconds), without working out again through the zone's
    // rules which instant `t` is when it is one of at()'s latest answers: a
    // local QDateTime converts back to UTC anew on every move.
    [[nodiscard]] static QDateTime after(const QDateTime &t, qint64 milliseconds);
};

} // namespace Orvel
