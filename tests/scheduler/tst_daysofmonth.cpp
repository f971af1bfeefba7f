#include "daysofmonth.h"
#include "rulesupport.h"
#include "testsupport.h"

#include <gtest/gtest.h>

namespace {

// A month-day rule choosing the given day names ("1" to "31", "Last").
DaysOfMonth monthRule(const QStringList &names, const char *window = "")
{
    QByteArray entries = "<MonthlyDays>";
    for (const QString &name : names)
        entries += "<entry name=\"" + name.toUtf8() + "\" type=\"bool\">true</entry>";
    return DaysOfMonth(body((entries + "</MonthlyDays>" + window).constData()));
}

} // namespace

TEST(DaysOfMonthReading, ValidityAndTraceLines)
{
    // A valid rule traces each chosen day; an invalid one says nothing of its own.
    const auto expectRead = [](const char *entries, const QStringList &traces) {
        TraceCapture trace;
        EXPECT_EQ(DaysOfMonth(body(entries)).isValid(), !traces.isEmpty()) << entries;
        EXPECT_EQ(trace.texts(), traces) << entries;
    };
    expectRead(
        "<MonthlyDays><entry name=\"1\" type=\"bool\">true</entry><Last>true</Last>"
        "</MonthlyDays><Time>23:00</Time><Duration>7200</Duration>",
        {"Month day: 1 From 23:00:00 To 00:59:59", "Month day: Last From 23:00:00 To 00:59:59"});
    expectRead("<MonthlyDays><entry name=\"15\">1</entry></MonthlyDays>",
               {"Month day: 15 From 00:00:00 To 23:59:59"});
    // A leading zero, days 0 and 32, all false, no list, nothing.
    for (const char *entries :
         {"<MonthlyDays><entry name=\"01\" type=\"bool\">true</entry></MonthlyDays>",
          "<MonthlyDays><entry name=\"0\" type=\"bool\">true</entry>"
          "<entry name=\"32\" type=\"bool\">true</entry></MonthlyDays>",
          "<MonthlyDays><entry name=\"3\" type=\"bool\">false</entry></MonthlyDays>",
          "<Time>08:00</Time>", ""})
        expectRead(entries, {});
    TraceCapture trace;
    EXPECT_FALSE(
        DaysOfMonth(body("<MonthlyDays><entry name=\"3\">often</entry></MonthlyDays>")).isValid());
    EXPECT_EQ(trace.texts(), QStringList({"Passed over MonthlyDays/3 - not a bool"}));
}

TEST(DaysOfMonthSearch, ChosenDaysAreNeverMovedOnlyLastFollowsTheMonth)
{
    struct
    {
        const char *name;
        QStringList days;
        const char *from;
        const char *expected;
    } const cases[] = {
        {"31 skips April", {"31"}, "2023-04-01 08:00:00", "2023-05-31 09:00:00"},
        {"31 in a 31-day month", {"31"}, "2023-01-31 08:00:00", "2023-01-31 09:00:00"},
        {"30 skips February", {"30"}, "2023-02-01 00:00:00", "2023-03-30 09:00:00"},
        {"29 skips a common February", {"29"}, "2023-02-01 00:00:00", "2023-03-29 09:00:00"},
        {"29 in a leap February", {"29"}, "2024-02-01 00:00:00", "2024-02-29 09:00:00"},
        {"Last of a common February", {"Last"}, "2023-02-01 00:00:00", "2023-02-28 09:00:00"},
        {"Last of a leap February", {"Last"}, "2024-02-01 00:00:00", "2024-02-29 09:00:00"},
        {"Last of March", {"Last"}, "2023-03-01 00:00:00", "2023-03-31 09:00:00"},
        {"Last of April", {"Last"}, "2023-04-01 00:00:00", "2023-04-30 09:00:00"},
        {"Last and 31 on the same day",
         {"31", "Last"},
         "2023-03-01 00:00:00",
         "2023-03-31 09:00:00"},
        {"exactly at the start", {"15"}, "2023-05-15 09:00:00", "2023-05-15 09:00:00"},
        {"one second late", {"15"}, "2023-05-15 09:00:01", "2023-06-15 09:00:00"},
        {"first of next year", {"1"}, "2023-12-01 09:00:01", "2024-01-01 09:00:00"},
        {"1st and 15th", {"1", "15"}, "2023-05-02 00:00:00", "2023-05-15 09:00:00"},
    };
    for (const auto &c : cases) {
        const DaysOfMonth rule = monthRule(c.days, "<Time>09:00</Time><Duration>60</Duration>");
        EXPECT_EQ(rule.nextStartTime(local(c.from)), local(c.expected)) << c.name;
        EXPECT_EQ(rule.nextRunTime(local(c.from), false), local(c.expected)) << c.name;
    }
}

TEST(DaysOfMonthWindows, BackToBackMonthEndHopsBothDays)
{
    const DaysOfMonth monthEnd = monthRule({"1", "Last"});
    EXPECT_EQ(monthEnd.moveOutside(local("2023-04-30 12:00:00")), local("2023-05-02 00:00:01"));
    EXPECT_EQ(monthEnd.moveOutside(local("2024-02-29 12:00:00")), local("2024-03-02 00:00:01"));
    EXPECT_EQ(monthEnd.moveOutside(local("2024-02-28 12:00:00")), local("2024-02-28 12:00:00"));
}

TEST(DaysOfMonthRefusals, InvalidRuleWritesOnlyItsRunTimeRefusal)
{
    const DaysOfMonth invalid = monthRule({"0"});
    const DaysOfMonth first = monthRule({"1"});
    TraceCapture trace;
    EXPECT_FALSE(invalid.nextStartTime(local("2023-05-01 00:00:00")).isValid());
    EXPECT_FALSE(invalid.nextRunTime(local("2023-05-01 00:00:00"), true).isValid());
    EXPECT_FALSE(invalid.contains(local("2023-05-01 00:00:00")));
    EXPECT_FALSE(first.nextStartTime(QDateTime()).isValid());
    EXPECT_FALSE(first.nextRunTime(QDateTime(), false).isValid());
    EXPECT_EQ(trace.texts(), QStringList({"Cannot get next run time for invalid DaysOfMonth",
                                          "Cannot get next run time for invalid DaysOfMonth",
                                          "Element doesn't contain 00:00:00 Mon May 1 2023",
                                          "Cannot get next start time for invalid time",
                                          "Cannot get next run time for invalid time"}));
}
