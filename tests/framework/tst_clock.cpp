#include "clock.h"

#include <QByteArray>

#include <ctime>
#include <gtest/gtest.h>

using Orvel::Clock;

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

TEST(ClockTest, AFrozenClockMovesOnlyWhenTold)
{
    const QDateTime start(QDate(2026, 3, 29), QTime(1, 59, 59));
    Clock::setNow(start);
    EXPECT_TRUE(Clock::isFrozen());
    EXPECT_EQ(Clock::now(), start);
    Clock::advance(1000); // across the spring-forward gap in Europe/Berlin
    EXPECT_EQ(Clock::now(), QDateTime(QDate(2026, 3, 29), QTime(3, 0, 0)));
    Clock::useSystem();
    EXPECT_FALSE(Clock::isFrozen());
}
