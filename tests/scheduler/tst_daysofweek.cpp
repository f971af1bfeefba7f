#include "daysofweek.h"
#include "rulesupport.h"
#include "testsupport.h"

#include <gtest/gtest.h>

namespace {

// Monday+Friday in every week, 02:30 for an hour.
const char *const kMondayFriday =
    "<WeekDays><Days><Monday type=\"bool\">true</Monday><Friday type=\"bool\">true</Friday></Days>"
    "<WeekNumbers><All type=\"bool\">true</All></WeekNumbers></WeekDays>"
    "<Time>02:30</Time><Duration type=\"uint\">3600</Duration>";

QByteArray weekRule(const char *days, const char *weeks, const char *window)
{
    return QByteArray("<WeekDays><Days>") + days + "</Days><WeekNumbers>" + weeks +
           "</WeekNumbers></WeekDays>" + window;
}

QByteArray flag(const char *name)
{
    return QByteArray("<") + name + " type=\"bool\">true</" + name + ">";
}

DaysOfWeek rule(const QByteArray &entries)
{
    return DaysOfWeek(body(entries.constData()));
}

struct ReadCase
{
    const char *name;
    QByteArray entries;
    bool valid;
    QStringList traces;
};

struct NextCase
{
    const char *name;
    QByteArray entries;
    QDateTime from;
    QDateTime expected;
};

} // namespace

TEST(DaysOfWeekReading, ValidityAndTraceLines)
{
    const QString allWeeks = QStringLiteral("Weeks 1 2 3 4 5  From");
    const ReadCase cases[] = {
        {"Monday and Friday, all weeks",
         kMondayFriday,
         true,
         {QStringLiteral("Day: Monday %1 02:30:00 to 03:29:59").arg(allWeeks),
          QStringLiteral("Day: Friday %1 02:30:00 to 03:29:59").arg(allWeeks)}},
        {"last week only, whole day",
         weekRule(flag("Sunday"), flag("Last"), ""),
         true,
         {QStringLiteral("Day: Sunday Weeks      Last From 00:00:00 to 23:59:59")}},
        {"window past midnight, zero length",
         weekRule(flag("Tuesday"), flag("Third"), "<Time>23:59:30</Time><Duration>0</Duration>"),
         true,
         {QStringLiteral("Day: Tuesday Weeks   3    From 23:59:30 to 23:59:30")}},
        // Deliberate choice: a missing list chooses everything.
        {"no Days list: all seven days",
         "<WeekDays><WeekNumbers>" + flag("First") + "</WeekNumbers></WeekDays><Time>08:00</Time>",
         true,
         {QStringLiteral("Day: Monday Weeks 1      From 08:00:00 to 08:00:00"),
          QStringLiteral("Day: Tuesday Weeks 1      From 08:00:00 to 08:00:00"),
          QStringLiteral("Day: Wednesday Weeks 1      From 08:00:00 to 08:00:00"),
          QStringLiteral("Day: Thursday Weeks 1      From 08:00:00 to 08:00:00"),
          QStringLiteral("Day: Friday Weeks 1      From 08:00:00 to 08:00:00"),
          QStringLiteral("Day: Saturday Weeks 1      From 08:00:00 to 08:00:00"),
          QStringLiteral("Day: Sunday Weeks 1      From 08:00:00 to 08:00:00")}},
        {"no WeekNumbers list: weeks 1 to 5",
         "<WeekDays><Days>" + flag("Saturday") + "</Days></WeekDays>",
         true,
         {QStringLiteral("Day: Saturday %1 00:00:00 to 23:59:59").arg(allWeeks)}},
        {"explicit Days list choosing nothing",
         weekRule("<Monday type=\"bool\">false</Monday>", flag("All"), ""),
         false,
         {QStringLiteral("Invalid Week days schedule element")}},
        {"a sixth week does not exist",
         weekRule(flag("Monday"), flag("Sixth"), ""),
         false,
         {QStringLiteral("Invalid Week days schedule element")}},
        {"a day flag that is not a bool",
         weekRule("<Monday>yes</Monday>", flag("All"), ""),
         false,
         {QStringLiteral("Invalid Week days schedule element")}},
        {"lower-case day name",
         weekRule(flag("monday"), flag("All"), ""),
         false,
         {QStringLiteral("Invalid Week days schedule element")}},
        {"no WeekDays list",
         "<Time>08:00</Time>",
         false,
         {QStringLiteral("Invalid Week days schedule element")}},
        {"empty body", "", false, {}},
    };
    for (const ReadCase &c : cases) {
        const Orvel::XmlList entries = body(c.entries.constData());
        TraceCapture trace;
        const DaysOfWeek days(entries);
        EXPECT_EQ(days.isValid(), c.valid) << c.name;
        EXPECT_EQ(trace.texts(), c.traces) << c.name;
    }
}

TEST(DaysOfWeekReading, TimeAndDurationEntries)
{
    const char *monday = "<WeekDays><Days><Monday type=\"bool\">true</Monday></Days></WeekDays>";
    struct
    {
        const char *window;
        quint32 duration;
        const char *firstStart;
    } const cases[] = {
        {"", 86400, "2023-01-02 00:00:00"},
        {"<Duration>60</Duration>", 86400, "2023-01-02 00:00:00"}, // ignored without Time
        {"<Time>10:30</Time>", 1, "2023-01-02 10:30:00"},
        {"<Time>10:30:15</Time><Duration>5</Duration>", 5, "2023-01-02 10:30:15"},
        {"<Time>25:61</Time><Duration>7</Duration>", 7, "2023-01-02 00:00:00"},
        {"<Time>10:30</Time><Duration>-5</Duration>", 1, "2023-01-02 10:30:00"},
        {"<Time>10:30</Time><Duration>soon</Duration>", 1, "2023-01-02 10:30:00"},
        {"<Time>10:30</Time><Duration type=\"int\">-5</Duration>", 1, "2023-01-02 10:30:00"},
        {"<Time>10:30</Time><Duration>4294967296</Duration>", 1, "2023-01-02 10:30:00"},
    };
    for (const auto &c : cases) {
        const DaysOfWeek days(body((QByteArray(monday) + c.window).constData()));
        ASSERT_TRUE(days.isValid()) << c.window;
        EXPECT_EQ(days.duration(), c.duration) << c.window;
        EXPECT_EQ(days.nextStartTime(local("2023-01-01 12:00:00")), local(c.firstStart))
            << c.window;
    }
}

TEST(DaysOfWeekSearch, NextStartTimeIsInclusiveAndFollowsWeeksOfTheMonth)
{
    const QByteArray monday8 = weekRule(flag("Monday"), flag("All"), "<Time>08:00</Time>");
    const NextCase cases[] = {
        {"before the start", monday8, local("2023-01-02 07:00:00"), local("2023-01-02 08:00:00")},
        {"exactly at the start", monday8, local("2023-01-02 08:00:00"),
         local("2023-01-02 08:00:00")},
        {"one second late", monday8, local("2023-01-02 08:00:01"), local("2023-01-09 08:00:00")},
        {"half a second late", monday8, local("2023-01-02 08:00:00.500"),
         local("2023-01-09 08:00:00")},
        {"Sunday night", monday8, local("2023-01-01 23:59:59"), local("2023-01-02 08:00:00")},
        {"first week", weekRule(flag("Monday"), flag("First"), ""), local("2023-04-04 00:00:00"),
         local("2023-05-01 00:00:00")},
        {"fifth Friday skips months without one", weekRule(flag("Friday"), flag("Fifth"), ""),
         local("2023-04-01 00:00:00"), local("2023-06-30 00:00:00")},
        {"last Tuesday of a 28-day February", weekRule(flag("Tuesday"), flag("Last"), ""),
         local("2023-02-01 00:00:00"), local("2023-02-28 00:00:00")},
        {"fourth Tuesday of that February is the same day",
         weekRule(flag("Tuesday"), flag("Fourth"), ""), local("2023-02-01 00:00:00"),
         local("2023-02-28 00:00:00")},
        {"last Thursday of a leap February is the fifth",
         weekRule(flag("Thursday"), flag("Last"), ""), local("2024-02-01 00:00:00"),
         local("2024-02-29 00:00:00")},
        {"fourth Thursday of a leap February", weekRule(flag("Thursday"), flag("Fourth"), ""),
         local("2024-02-01 00:00:00"), local("2024-02-22 00:00:00")},
        {"last Sunday of a 30-day month", weekRule(flag("Sunday"), flag("Last"), ""),
         local("2023-04-24 00:00:00"), local("2023-04-30 00:00:00")},
        {"last Wednesday of a 31-day month", weekRule(flag("Wednesday"), flag("Last"), ""),
         local("2023-05-01 00:00:00"), local("2023-05-31 00:00:00")},
        {"last week is not the fourth in a 31-day month",
         weekRule(flag("Wednesday"), flag("Fourth"), ""), local("2023-05-01 00:00:00"),
         local("2023-05-24 00:00:00")},
        {"year end", weekRule(flag("Monday"), flag("First"), ""), local("2023-12-05 00:00:00"),
         local("2024-01-01 00:00:00")},
    };
    for (const NextCase &c : cases)
        EXPECT_EQ(rule(c.entries).nextStartTime(c.from), c.expected) << c.name;
}

TEST(DaysOfWeekSearch, NextRunTimeWithAndWithoutTheOpenWindow)
{
    const DaysOfWeek daily =
        rule(weekRule(flag("All"), flag("All"), "<Time>08:00</Time><Duration>3600</Duration>"));
    const DaysOfWeek fridayNight =
        rule(weekRule(flag("Friday"), flag("All"), "<Time>23:00</Time><Duration>7200</Duration>"));
    struct
    {
        const DaysOfWeek &rule;
        const char *from;
        bool includeOpenWindow;
        const char *expected;
    } const cases[] = {
        {daily, "2023-01-02 08:30:00", true, "2023-01-02 08:30:00"},
        {daily, "2023-01-02 08:00:00", true, "2023-01-02 08:00:00"},
        {daily, "2023-01-02 09:00:00", true, "2023-01-03 08:00:00"}, // window just ended
        {daily, "2023-01-02 07:59:00", true, "2023-01-02 08:00:00"},
        {daily, "2023-01-02 07:59:00", false, "2023-01-02 08:00:00"},
        {daily, "2023-01-02 08:30:00", false, "2023-01-03 08:00:00"},
        {fridayNight, "2023-01-07 00:30:00", true, "2023-01-07 00:30:00"}, // past midnight
        {fridayNight, "2023-01-07 00:30:00", false, "2023-01-13 23:00:00"},
        {fridayNight, "2023-01-07 01:00:00", true, "2023-01-13 23:00:00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.rule.nextRunTime(local(c.from), c.includeOpenWindow), local(c.expected))
            << c.from << " " << c.includeOpenWindow;
}

TEST(DaysOfWeekWindows, ContainsAndMoveOutside)
{
    const DaysOfWeek daily =
        rule(weekRule(flag("All"), flag("All"), "<Time>08:00</Time><Duration>3600</Duration>"));
    const DaysOfWeek fridayNight =
        rule(weekRule(flag("Friday"), flag("All"), "<Time>23:00</Time><Duration>7200</Duration>"));
    const DaysOfWeek mondayTuesday =
        rule(weekRule(flag("Monday") + flag("Tuesday"), flag("All"), ""));
    const DaysOfWeek instant =
        rule(weekRule(flag("Monday"), flag("All"), "<Time>08:00</Time><Duration>0</Duration>"));
    struct
    {
        const char *name;
        const DaysOfWeek &rule;
        const char *t;
        bool inside;
        const char *outside;
    } const cases[] = {
        {"inside", daily, "2023-01-02 08:30:00", true, "2023-01-02 09:00:01"},
        {"at the end", daily, "2023-01-02 09:00:00", false, "2023-01-02 09:00:01"},
        {"before", daily, "2023-01-02 07:00:00", false, "2023-01-02 07:00:00"},
        {"past midnight", fridayNight, "2023-01-07 00:30:00", true, "2023-01-07 01:00:01"},
        {"before midnight", fridayNight, "2023-01-06 23:30:00", true, "2023-01-07 01:00:01"},
        {"back-to-back days", mondayTuesday, "2023-01-02 10:00:00", true, "2023-01-04 00:00:01"},
        {"zero length, at the start", instant, "2023-01-02 08:00:00", true, "2023-01-02 08:00:01"},
        {"zero length, after", instant, "2023-01-02 08:00:01", false, "2023-01-02 08:00:02"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.rule.contains(local(c.t)), c.inside) << c.name;
        EXPECT_EQ(c.rule.moveOutside(local(c.t)), local(c.outside)) << c.name;
    }
}

TEST(DaysOfWeekWindows, TraceLinesOfTheAnswers)
{
    const DaysOfWeek daily =
        rule(weekRule(flag("All"), flag("All"), "<Time>08:00</Time><Duration>3600</Duration>"));
    TraceCapture trace;
    EXPECT_TRUE(daily.contains(local("2023-01-02 08:30:00")));
    EXPECT_EQ(daily.moveOutside(local("2023-01-02 08:30:00")), local("2023-01-02 09:00:01"));
    EXPECT_EQ(trace.texts(),
              QStringList({
                  QStringLiteral("Get next start time following  07:30:00 Mon January 2 2023"),
                  QStringLiteral("Next start time 08:00:00 Mon January 2 2023"),
                  QStringLiteral("Next run time 08:30:00 Mon January 2 2023"),
                  QStringLiteral("Element contains 08:30:00 Mon January 2 2023"),
                  QStringLiteral("moveOutside( 08:30:00 Mon January 2 2023 )"),
                  QStringLiteral("Get next start time following  07:30:00 Mon January 2 2023"),
                  QStringLiteral("Next start time 08:00:00 Mon January 2 2023"),
                  QStringLiteral("Get next start time following  08:00:01 Mon January 2 2023"),
                  QStringLiteral("Next start time 08:00:00 Tue January 3 2023"),
                  QStringLiteral(
                      "Moved 08:30:00 Mon January 2 2023 outside to 09:00:01 Mon January 2 2023"),
              }));
}

TEST(DaysOfWeekBounds, BackToBackWindowsAllYearGiveNoWayOut)
{
    // Windows of 25 hours overlap every day, also on the 25-hour day of the
    // fall-back change, so no instant within the year lies outside them.
    const DaysOfWeek always =
        rule(weekRule(flag("All"), flag("All"), "<Time>00:00</Time><Duration>90000</Duration>"));
    TraceCapture trace;
    EXPECT_FALSE(always.moveOutside(local("2023-01-02 10:00:00")).isValid());
    ASSERT_FALSE(trace.texts().isEmpty());
    EXPECT_EQ(trace.texts().last(),
              QStringLiteral("Moved 10:00:00 Mon January 2 2023 outside to invalid"));
    // 364 moves, each asking for one next start (two lines).
    EXPECT_EQ(trace.texts().size(), 1 + 364 * 2 + 1);
}

TEST(DaysOfWeekRefusals, InvalidRuleOrInstant)
{
    const DaysOfWeek invalid = rule("<WeekDays><Days type=\"list\"/></WeekDays>");
    const DaysOfWeek monday = rule(weekRule(flag("Monday"), flag("All"), ""));
    ASSERT_FALSE(invalid.isValid());
    TraceCapture trace;
    EXPECT_FALSE(invalid.nextRunTime(local("2023-01-02 08:00:00"), false).isValid());
    EXPECT_FALSE(invalid.nextRunTime(QDateTime(), true).isValid());
    EXPECT_FALSE(invalid.nextStartTime(local("2023-01-02 08:00:00")).isValid());
    EXPECT_FALSE(monday.nextRunTime(QDateTime(), false).isValid());
    EXPECT_FALSE(monday.nextStartTime(QDateTime()).isValid());
    EXPECT_EQ(trace.texts(),
              QStringList({
                  QStringLiteral("Cannot get next run time for invalid DaysOfWeek"),
                  QStringLiteral("Cannot get next run time for invalid DaysOfWeek"),
                  QStringLiteral("Cannot get next start time for invalid DaysOfWeek"),
                  QStringLiteral("Cannot get next run time for invalid time"),
                  QStringLiteral("Cannot get next start time for invalid time"),
              }));
    EXPECT_FALSE(invalid.contains(local("2023-01-02 08:00:00")));
    // An invalid rule opens no window, so every instant is already outside.
    EXPECT_EQ(invalid.moveOutside(local("2023-01-02 08:00:00")), local("2023-01-02 08:00:00"));
}

// Europe/Berlin: 2023-03-26 02:00 CET jumps to 03:00 CEST; 2023-10-29 03:00
// CEST falls back to 02:00 CET. A daily run at 02:30 must happen once a day.
TEST(DaysOfWeekDaylightSaving, DailyRunAtTwoThirtyHappensOnceEachDay)
{
    const DaysOfWeek daily =
        rule(weekRule(flag("All"), flag("All"), "<Time>02:30</Time><Duration>3600</Duration>"));
    struct
    {
        const char *name;
        QDateTime from;
        QList<QDateTime> runs;
    } const cases[] = {
        {"spring forward: the missing 02:30 runs at 03:00",
         local("2023-03-25 00:00:00"),
         {local("2023-03-25 02:30:00"), utc("2023-03-26 01:00:00"), local("2023-03-27 02:30:00")}},
        {"fall back: the repeated 02:30 runs the first time only",
         local("2023-10-28 00:00:00"),
         {local("2023-10-28 02:30:00"), utc("2023-10-29 00:30:00"), local("2023-10-30 02:30:00")}},
    };
    for (const auto &c : cases) {
        QList<QDateTime> runs;
        QDateTime from = c.from;
        for (int i = 0; i < 3; ++i) {
            runs << daily.nextRunTime(from, false);
            from = runs.last().addSecs(1);
        }
        EXPECT_EQ(runs, c.runs) << c.name;
    }
}

TEST(DaysOfWeekDaylightSaving, WindowsAroundTheClockChange)
{
    const DaysOfWeek sunday =
        rule(weekRule(flag("Sunday"), flag("All"), "<Time>02:30</Time><Duration>3600</Duration>"));
    // Spring: the window opens at 03:00 CEST, the first valid instant.
    EXPECT_EQ(sunday.nextStartTime(utc("2023-03-26 01:00:00")), utc("2023-03-26 01:00:00"));
    EXPECT_EQ(sunday.nextStartTime(utc("2023-03-26 01:00:01")), local("2023-04-02 02:30:00"));
    EXPECT_TRUE(sunday.contains(utc("2023-03-26 01:30:00")));
    EXPECT_FALSE(sunday.contains(utc("2023-03-26 00:59:59")));
    // Fall: 02:15 CET comes after 02:30 CEST; the week's run is over.
    EXPECT_EQ(sunday.nextStartTime(utc("2023-10-29 01:15:00")), local("2023-11-05 02:30:00"));
    EXPECT_TRUE(sunday.contains(utc("2023-10-29 01:15:00"))); // 3600 s after 02:30 CEST
    EXPECT_EQ(sunday.moveOutside(utc("2023-10-29 00:45:00")), utc("2023-10-29 01:30:01"));
}
