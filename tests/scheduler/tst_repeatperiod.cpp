#include "repeatperiod.h"
#include "rulesupport.h"
#include "testsupport.h"

#include <gtest/gtest.h>

TEST(RepeatPeriodUnits, WordsAreExact)
{
    struct
    {
        const char *word;
        RepeatPeriod::Unit unit;
    } const cases[] = {
        {"Seconds", RepeatPeriod::Seconds}, {"Minutes", RepeatPeriod::Minutes},
        {"Hours", RepeatPeriod::Hours},     {"Days", RepeatPeriod::Days},
        {"Weeks", RepeatPeriod::Weeks},     {"Months", RepeatPeriod::Months},
        {"Years", RepeatPeriod::Years},     {"minutes", RepeatPeriod::NoUnit},
        {"Minute", RepeatPeriod::NoUnit},   {"", RepeatPeriod::NoUnit},
        {" Days", RepeatPeriod::NoUnit},    {"Fortnights", RepeatPeriod::NoUnit},
    };
    for (const auto &c : cases)
        EXPECT_EQ(RepeatPeriod::unitFromName(QString::fromLatin1(c.word)), c.unit) << c.word;
}

TEST(RepeatPeriodArithmetic, OnePeriodAfterFrom)
{
    struct
    {
        RepeatPeriod::Unit unit;
        quint32 count;
        const char *from;
        QDateTime expected;
    } const cases[] = {
        {RepeatPeriod::Seconds, 90, "2023-05-01 10:00:00", local("2023-05-01 10:01:30")},
        {RepeatPeriod::Minutes, 90, "2023-05-01 10:00:00", local("2023-05-01 11:30:00")},
        {RepeatPeriod::Hours, 4, "2023-05-01 10:00:00", local("2023-05-01 14:00:00")},
        {RepeatPeriod::Hours, 1, "2023-03-26 01:30:00", utc("2023-03-26 01:30:00")}, // 03:30 CEST
        {RepeatPeriod::Days, 1, "2023-05-31 10:00:00", local("2023-06-01 10:00:00")},
        {RepeatPeriod::Days, 1, "2023-03-25 02:30:00", utc("2023-03-26 01:00:00")}, // end of gap
        {RepeatPeriod::Days, 1, "2023-10-28 02:30:00", utc("2023-10-29 00:30:00")}, // first 02:30
        {RepeatPeriod::Weeks, 2, "2023-12-25 10:00:00", local("2024-01-08 10:00:00")},
        {RepeatPeriod::Months, 1, "2023-01-31 10:00:00", local("2023-02-28 10:00:00")},
        {RepeatPeriod::Months, 1, "2024-01-31 10:00:00", local("2024-02-29 10:00:00")},
        {RepeatPeriod::Months, 1, "2024-02-29 10:00:00", local("2024-03-29 10:00:00")},
        {RepeatPeriod::Months, 12, "2024-02-29 10:00:00", local("2025-02-28 10:00:00")},
        {RepeatPeriod::Months, 48, "2024-02-29 10:00:00", local("2028-02-29 10:00:00")},
        {RepeatPeriod::Months, 13, "2023-12-31 23:59:59", local("2025-01-31 23:59:59")},
        {RepeatPeriod::Years, 1, "2024-02-29 10:00:00", local("2025-02-28 10:00:00")},
        {RepeatPeriod::Years, 4, "2024-02-29 10:00:00", local("2028-02-29 10:00:00")},
        {RepeatPeriod::Years, 1, "2023-06-30 10:00:00", local("2024-06-30 10:00:00")},
    };
    for (const auto &c : cases) {
        const RepeatPeriod period(c.unit, c.count);
        ASSERT_TRUE(period.isValid());
        EXPECT_EQ(period.nextRunTime(local(c.from), false), c.expected)
            << c.unit << " x" << c.count << " from " << c.from;
        EXPECT_EQ(period.nextRunTime(local(c.from), true), local(c.from));
    }
}

// Deliberate choice: counts are multiplied in 64 bits, so no period wraps
// into the past; what QDateTime cannot hold is none.
TEST(RepeatPeriodArithmetic, LargestCountsNeverWrap)
{
    const QDateTime from = local("2023-05-01 10:00:00");
    const quint32 most = 4294967295u;
    EXPECT_EQ(RepeatPeriod(RepeatPeriod::Seconds, most).nextRunTime(from, false),
              from.addSecs(qint64(most)));
    EXPECT_EQ(RepeatPeriod(RepeatPeriod::Hours, most).nextRunTime(from, false),
              from.addSecs(qint64(most) * 3600));
    EXPECT_EQ(RepeatPeriod(RepeatPeriod::Weeks, 4000000u).nextRunTime(from, false).date(),
              from.date().addDays(28000000));
    EXPECT_EQ(RepeatPeriod(RepeatPeriod::Months, 3000000000u).nextRunTime(from, false).date(),
              QDate(250002023, 5, 1));
    TraceCapture trace;
    EXPECT_FALSE(RepeatPeriod(RepeatPeriod::Years, most).nextRunTime(from, false).isValid());
    EXPECT_EQ(trace.texts(),
              QStringList({"Period out of range: 4294967295 Years from 10:00:00 Mon May 1 2023",
                           "No next time available from 10:00:00 Mon May 1 2023"}));
}

TEST(RepeatPeriodValidity, ZeroCountOrUnitIsInvalid)
{
    const QDateTime from = local("2023-05-01 10:00:00");
    EXPECT_FALSE(RepeatPeriod(RepeatPeriod::Days, 0).isValid());
    EXPECT_FALSE(RepeatPeriod(RepeatPeriod::NoUnit, 3).isValid());
    TraceCapture trace;
    EXPECT_FALSE(RepeatPeriod(RepeatPeriod::Days, 0).nextRunTime(from, true).isValid());
    EXPECT_FALSE(RepeatPeriod(RepeatPeriod::Days, 1).nextRunTime(QDateTime(), false).isValid());
    EXPECT_TRUE(RepeatPeriod(RepeatPeriod::Days, 1).nextRunTime(from, false).isValid());
    EXPECT_EQ(trace.texts(), QStringList({"Cannot get next run time for invalid RepeatPeriod",
                                          "No next time available from 10:00:00 Mon May 1 2023",
                                          "Cannot get next run time for invalid time",
                                          "No next time available from invalid",
                                          "Next run time 10:00:00 Tue May 2 2023"}));
}

TEST(RepeatPeriodValidity, NoWindowsAndNoXml)
{
    const RepeatPeriod period(RepeatPeriod::Hours, 4);
    EXPECT_TRUE(period.contains(local("2023-05-01 10:00:00")));
    EXPECT_FALSE(period.moveOutside(local("2023-05-01 10:00:00")).isValid());
    TraceCapture trace;
    const RepeatPeriod fromXml(body("<Period>4</Period>"));
    EXPECT_FALSE(fromXml.isValid());
    EXPECT_EQ(trace.texts(),
              QStringList(QStringLiteral(
                  "TODO: RepeatPeriod schedule elements cannot be definied in XML yet")));
}
