#include "walltime.h"

#include <gtest/gtest.h>

using Orvel::WallTime;

namespace {

QDateTime utcAt(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

struct WallCase
{
    const char *name;
    QDate date;
    QTime time;
    QDateTime expectedUtc;
};

} // namespace

// TZ is Europe/Berlin: CET (+1) in winter, CEST (+2) from the last Sunday of
// March 02:00 to the last Sunday of October 03:00.
TEST(WallTimeTest, PlacesEveryWallTimeOnOneInstant)
{
    const WallCase cases[] = {
        {"plain winter", QDate(2023, 1, 15), QTime(8, 0), utcAt(2023, 1, 15, 7, 0, 0)},
        {"plain summer", QDate(2023, 7, 15), QTime(8, 0), utcAt(2023, 7, 15, 6, 0, 0)},
        {"before the gap", QDate(2023, 3, 26), QTime(1, 59, 59), utcAt(2023, 3, 26, 0, 59, 59)},
        {"gap start", QDate(2023, 3, 26), QTime(2, 0), utcAt(2023, 3, 26, 1, 0, 0)},
        {"inside the gap", QDate(2023, 3, 26), QTime(2, 30), utcAt(2023, 3, 26, 1, 0, 0)},
        {"gap end", QDate(2023, 3, 26), QTime(2, 59, 59, 999), utcAt(2023, 3, 26, 1, 0, 0)},
        {"after the gap", QDate(2023, 3, 26), QTime(3, 0), utcAt(2023, 3, 26, 1, 0, 0)},
        {"overlap start", QDate(2023, 10, 29), QTime(2, 0), utcAt(2023, 10, 29, 0, 0, 0)},
        {"inside the overlap", QDate(2023, 10, 29), QTime(2, 30), utcAt(2023, 10, 29, 0, 30, 0)},
        {"after the overlap", QDate(2023, 10, 29), QTime(3, 0), utcAt(2023, 10, 29, 2, 0, 0)},
        {"midnight", QDate(2024, 2, 29), QTime(0, 0), utcAt(2024, 2, 28, 23, 0, 0)},
        {"milliseconds kept", QDate(2023, 5, 1), QTime(10, 0, 0, 250),
         utcAt(2023, 5, 1, 8, 0, 0).addMSecs(250)},
    };
    for (const WallCase &c : cases) {
        const QDateTime at = WallTime::at(c.date, c.time);
        EXPECT_TRUE(at.isValid()) << c.name;
        EXPECT_EQ(at, c.expectedUtc)
            << c.name << ": " << at.toString(Qt::ISODateWithMs).toStdString();
        EXPECT_EQ(at.timeSpec(), Qt::LocalTime) << c.name;
    }
}

TEST(WallTimeTest, ExistingTimesReadBackUnchanged)
{
    // Every minute of both change days and an ordinary day, outside the gap,
    // shows the asked date and time again.
    for (const QDate &date : {QDate(2023, 3, 26), QDate(2023, 10, 29), QDate(2023, 6, 1)}) {
        for (int minute = 0; minute < 24 * 60; ++minute) {
            const QTime time = QTime(0, 0).addSecs(minute * 60);
            const QDateTime at = WallTime::at(date, time);
            if (date == QDate(2023, 3, 26) && time.hour() == 2)
                continue;
            ASSERT_EQ(at.date(), date) << time.toString().toStdString();
            ASSERT_EQ(at.time(), time) << date.toString().toStdString();
        }
    }
}

TEST(WallTimeTest, InvalidInputGivesNone)
{
    EXPECT_FALSE(WallTime::at(QDate(), QTime(8, 0)).isValid());
    EXPECT_FALSE(WallTime::at(QDate(2023, 2, 30), QTime(8, 0)).isValid());
    EXPECT_FALSE(WallTime::at(QDate(2023, 2, 3), QTime(25, 61)).isValid());
    EXPECT_FALSE(WallTime::at(QDate(2023, 2, 3), QTime()).isValid());
}
