#include "clock.h"
#include "walltime.h"

#include <ctime>
#include <gtest/gtest.h>
#include <tuple>

using Orvel::Clock;
using Orvel::WallTime;

namespace {

QDateTime utc(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

} // namespace

// TZ is Europe/Berlin: CET (+1) in winter, CEST (+2) from the last Sunday of
// March 02:00 to the last Sunday of October 03:00. A time in the gap means
// the gap's end, a time that exists twice its first occurrence.
TEST(WallTimeTest, PlacesEveryWallTimeOnOneInstant)
{
    const std::tuple<QDate, QTime, QDateTime> cases[] = {
        {QDate(2023, 1, 15), QTime(8, 0), utc(2023, 1, 15, 7, 0)},
        {QDate(2023, 7, 15), QTime(8, 0), utc(2023, 7, 15, 6, 0)},
        {QDate(2023, 3, 25), QTime(20, 0), utc(2023, 3, 25, 19, 0)},
        {QDate(2023, 3, 26), QTime(1, 59, 59), utc(2023, 3, 26, 0, 59, 59)},
        {QDate(2023, 3, 26), QTime(2, 0), utc(2023, 3, 26, 1, 0)},
        {QDate(2023, 3, 26), QTime(2, 59, 59, 999), utc(2023, 3, 26, 1, 0)},
        {QDate(2023, 3, 26), QTime(3, 0), utc(2023, 3, 26, 1, 0)},
        {QDate(2023, 3, 26), QTime(12, 0), utc(2023, 3, 26, 10, 0)},
        {QDate(2023, 10, 29), QTime(1, 59, 59), utc(2023, 10, 28, 23, 59, 59)},
        {QDate(2023, 10, 29), QTime(2, 0), utc(2023, 10, 29, 0, 0)},
        {QDate(2023, 10, 29), QTime(3, 0), utc(2023, 10, 29, 2, 0)},
        {QDate(2024, 2, 29), QTime(0, 0), utc(2024, 2, 28, 23, 0)},
        {QDate(2023, 5, 1), QTime(10, 0, 0, 250), utc(2023, 5, 1, 8, 0, 0, 250)},
        {QDate(1969, 12, 31), QTime(23, 59, 59, 500), utc(1969, 12, 31, 22, 59, 59, 500)},
        {QDate(), QTime(8, 0), QDateTime()},
        {QDate(2023, 2, 30), QTime(8, 0), QDateTime()},
        {QDate(2023, 2, 3), QTime(25, 61), QDateTime()},
        {QDate(2023, 2, 3), QTime(), QDateTime()},
    };
    // Each asked twice: the second answer is recalled, and must not differ;
    // nor may moving a recalled answer differ from moving it in Qt.
    for (const auto &[date, time, expected] : cases) {
        for (int ask = 0; ask < 2; ++ask)
            EXPECT_EQ(WallTime::at(date, time), expected)
                << date.toString(Qt::ISODate).toStdString() << ' ' << time.toString().toStdString();
        for (const qint64 ms : {qint64(1), qint64(-3600 * 1000), qint64(3600 * 1000)})
            EXPECT_EQ(WallTime::after(expected.toLocalTime(), ms), expected.addMSecs(ms));
    }
    // What is recalled belongs to its zone.
    const QByteArray pinned = qgetenv("TZ");
    qputenv("TZ", "America/New_York");
    EXPECT_EQ(WallTime::at(QDate(2023, 5, 1), QTime(10, 0, 0, 250)),
              utc(2023, 5, 1, 14, 0, 0, 250));
    qputenv("TZ", pinned);
    tzset();
}

// The zone an operator set is kept; only a missing TZ is pointed at the
// system's zone file.
TEST(ClockTest, SettleZoneKeepsAGivenZoneAndFillsAMissingOne)
{
    const QByteArray pinned = qgetenv("TZ");
    Clock::settleZone();
    EXPECT_EQ(qgetenv("TZ"), pinned);
    qunsetenv("TZ");
    Clock::settleZone();
    EXPECT_EQ(qgetenv("TZ"), QByteArray(":/etc/localtime"));
    qputenv("TZ", pinned);
    tzset();
}

// Tests freeze the clock; after useSystem() it is the machine's again.
TEST(ClockTest, UseSystemEndsAFrozenClock)
{
    Clock::setNow(QDateTime(QDate(2026, 3, 29), QTime(1, 59, 59)));
    Clock::useSystem();
    EXPECT_FALSE(Clock::isFrozen());
    EXPECT_LE(qAbs(Clock::now().secsTo(QDateTime::currentDateTime())), 1);
}
