#include "schedctltime.h"

#include "stamp.h"
#include "walltime.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <cstdlib>

namespace {

// A zone may change only its abbreviation at a transition; looking past this
// many such in a row for a real change of offset is more than any zone needs.
constexpr int kMaxTransitionsWithoutChange = 8;

QDateTime afterOffset(const QDateTime &now, qint64 count, const QString &unit)
{
    if (unit == QLatin1String("d") || unit == QLatin1String("w")) {
        const qint64 days = unit == QLatin1String("w") ? count * 7 : count;
        return Orvel::WallTime::at(now.date().addDays(days), now.time());
    }
    const qint64 factor = unit == QLatin1String("h") ? 3600 : unit == QLatin1String("min") ? 60 : 1;
    return now.addSecs(count * factor);
}

QDateTime atWallTime(const QRegularExpressionMatch &match)
{
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(),
                     match.captured(6).toInt());
    return Orvel::WallTime::at(date, time);
}

} // namespace

namespace SchedctlTime {

QDateTime parse(const QString &text, const QDateTime &now, const QDateTime &base)
{
    static const QRegularExpression offset(QStringLiteral("^([+-])(\\d{1,9})(s|min|h|d|w)$"));
    static const QRegularExpression compact(
        QStringLiteral("^(\\d{4})(\\d\\d)(\\d\\d)(\\d\\d)(\\d\\d)(\\d\\d)$"));
    static const QRegularExpression readable(
        QStringLiteral("^(\\d{4})-(\\d\\d)-(\\d\\d)(?: (\\d\\d):(\\d\\d)(?::(\\d\\d))?)?$"));
    // Whole seconds, as every other time schedctl reads or shows.
    const QDateTime start = now.addMSecs(-now.time().msec());
    if (text == QLatin1String("now"))
        return start;
    QRegularExpressionMatch match = offset.match(text);
    if (match.hasMatch()) {
        const qint64 count = match.captured(2).toLongLong();
        return afterOffset(base.isValid() ? base : start,
                           match.captured(1) == QLatin1String("-") ? -count : count,
                           match.captured(3));
    }
    match = compact.match(text);
    if (!match.hasMatch())
        match = readable.match(text);
    return match.hasMatch() ? atWallTime(match) : QDateTime();
}

QString shown(const QDateTime &instant)
{
    return instant.isValid() ? instant.toString(QStringLiteral("ddd yyyy-MM-dd hh:mm:ss t"))
                             : QStringLiteral("-");
}

QString iso(const QDateTime &instant)
{
    return instant.isValid()
               ? instant.toOffsetFromUtc(instant.offsetFromUtc()).toString(Qt::ISODate)
               : QString();
}

QString stamp(const QDateTime &instant)
{
    if (!instant.isValid())
        return QString();
    QByteArray text;
    appendStamp(text, instant);
    return QString::fromLatin1(text);
}

// By hand: QDateTime::toString reads its pattern anew for every time.
void appendStamp(QByteArray &out, const QDateTime &instant)
{
    if (!instant.isValid())
        return;
    int year = 0;
    int month = 0;
    int day = 0;
    instant.date().getDate(&year, &month, &day); // each of year() and day() works all three out
    // A year of other than four digits is left to Qt's own way of writing it.
    if (year < 1000 || year > 9999) {
        out += instant.toString(QStringLiteral("yyyyMMddhhmmss")).toLatin1();
        return;
    }
    const QTime time = instant.time();
    Orvel::Stamp::appendNumber(out, unsigned(year), 4);
    for (const int part : {month, day, time.hour(), time.minute(), time.second()})
        Orvel::Stamp::appendNumber(out, unsigned(part), 2);
}

QString span(qint64 seconds)
{
    const qint64 days = seconds / 86400;
    const qint64 hours = seconds % 86400 / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    const qint64 rest = seconds % 60;
    const auto two = [](const QString &large, qint64 small, const char *unit) {
        return small > 0 ? large + QStringLiteral(" %1%2").arg(small).arg(QLatin1String(unit))
                         : large;
    };
    if (days > 0)
        return two(QStringLiteral("%1 day%2").arg(days).arg(days == 1 ? "" : "s"), hours, "h");
    if (hours > 0)
        return two(QStringLiteral("%1h").arg(hours), minutes, "min");
    if (minutes > 0)
        return two(QStringLiteral("%1min").arg(minutes), rest, "s");
    return QStringLiteral("%1s").arg(seconds);
}

QString ClockChange::words() const
{
    const int shift = offsetAfter - offsetBefore;
    return QStringLiteral("clock change: clocks go %1 %2, %3 to %4")
        .arg(QLatin1String(shift > 0 ? "forward" : "back"), span(std::abs(shift)),
             at.addSecs(-1).timeZoneAbbreviation(), at.timeZoneAbbreviation());
}

ClockChange nextClockChange(const QDateTime &after)
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    if (!zone.isValid() || !zone.hasTransitions())
        return ClockChange();
    QDateTime from = after;
    for (int looked = 0; looked < kMaxTransitionsWithoutChange; ++looked) {
        const QTimeZone::OffsetData transition = zone.nextTransition(from);
        if (!transition.atUtc.isValid())
            break;
        ClockChange change;
        change.at = transition.atUtc.toLocalTime();
        change.offsetAfter = change.at.offsetFromUtc();
        change.offsetBefore = change.at.addSecs(-1).offsetFromUtc();
        if (change.offsetAfter != change.offsetBefore)
            return change;
        from = transition.atUtc;
    }
    return ClockChange();
}

} // namespace SchedctlTime
