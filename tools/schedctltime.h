#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// How schedctl reads the times an operator types and writes the times it
// shows: local time throughout, with the zone's abbreviation for people and
// the offset from UTC for programs.
namespace SchedctlTime {

// "yyyyMMddhhmmss", "yyyy-MM-dd", "yyyy-MM-dd hh:mm[:ss]", "now", or an offset
// from `base` (`now` when invalid) such as "+90s", "+15min", "+6h", "-2d",
// "+1w". Days and weeks keep the time of day across a clock change; a time of
// day the clock skips means the end of the gap, one it shows twice its first
// occurrence. Whole seconds; invalid for anything else.
QDateTime parse(const QString &text, const QDateTime &now, const QDateTime &base = QDateTime());

// "Thu 2026-12-24 00:00:00 CET"; "-" for none.
QString shown(const QDateTime &instant);
// "2026-12-24T00:00:00+01:00"; an empty text for none.
QString iso(const QDateTime &instant);
// "yyyyMMddhhmmss", the form the scheduler stores; an empty text for none.
QString stamp(const QDateTime &instant);
// The same appended to `out`: a long preview writes one per line.
void appendStamp(QByteArray &out, const QDateTime &instant);
// "4s", "12min 5s", "3h 20min", "5 days 2h": the two largest units.
QString span(qint64 seconds);

// A change of the local clock's offset from UTC.
struct ClockChange
{
    QDateTime at; // the first instant on the new offset
    int offsetBefore = 0;
    int offsetAfter = 0;

    bool isValid() const { return at.isValid(); }
    // "clock change: clocks go forward 1h, CET to CEST".
    QString words() const;
};

// The first clock change strictly after `after`; invalid when there is none
// or the local zone is unknown.
ClockChange nextClockChange(const QDateTime &after);

} // namespace SchedctlTime
