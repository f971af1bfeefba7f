#include "daysofweek.h"
#include "rulesupport.h"
#include "testsupport.h"

#include <gtest/gtest.h>

namespace {

// "<Monday type="bool">true</Monday>..." for the blank-separated names.
QByteArray flags(const char *names)
{
    QByteArray text;
    for (const QByteArray &name : QByteArray(names).split(' '))
        text += "<" + name + " type=\"bool\">true</" + name + ">";
    return text;
}

QByteArray weekRule(const QByteArray &days, const QByteArray &weeks, const char *window = "")
{
    return "<WeekDays><Days>" + days + "</Days><WeekNumbers>" + weeks +
           "</WeekNumbers></WeekDays>" + window;
}

// A rule on the named days in the named weeks of the month.
DaysOfWeek weekly(const char *days, const char *weeks = "All", const char *window = "")
{
    return DaysOfWeek(body(weekRule(flags(days), flags(weeks), window).constData()));
}

const char *const kHourAt8 = "<Time>08:00</Time><Duration>3600</Duration>";
const char *const kFridayNight = "<Time>23:00</Time><Duration>7200</Duration>";

} // namespace

TEST(DaysOfWeekReading, ValidRulesTraceEachChosenDay)
{
    const QString allWeeks = QStringLiteral("Weeks 1 2 3 4 5  From");
    QStringList everyDay; // Deliberate choice: a missing Days list chooses all seven.
    for (const char *day :
         {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"})
        everyDay << QStringLiteral("Day: %1 Weeks 1      From 08:00:00 to 08:00:00").arg(day);
    const struct
    {
        QByteArray entries;
        QStringList traces;
    } cases[] = {
        {weekRule(flags("Monday Friday"), flags("All"),
                  "<Time>02:30</Time><Duration>3600</Duration>"),
         {"Day: Monday " + allWeeks + " 02:30:00 to 03:29:59",
          "Day: Friday " + allWeeks + " 02:30:00 to 03:29:59"}},
        {weekRule(flags("Sunday"), flags("Last")),
         {"Day: Sunday Weeks      Last From 00:00:00 to 23:59:59"}},
        {weekRule(flags("Tuesday"), flags("Third"), "<Time>23:59:30</Time><Duration>0</Duration>"),
         {"Day: Tuesday Weeks   3    From 23:59:30 to 23:59:30"}},
        {"<WeekDays><WeekNumbers>" + flags("First") + "</WeekNumbers></WeekDays><Time>08:00</Time>",
         everyDay},
        {"<WeekDays><Days>" + flags("Saturday") + "</Days></WeekDays>", // weeks 1 to 5
         {"Day: Saturday " + allWeeks + " 00:00:00 to 23:59:59"}},
    };
    for (const auto &c : cases) {
        TraceCapture trace;
        EXPECT_TRUE(DaysOfWeek(body(c.entries.constData())).isValid()) << c.entries.constData();
        EXPECT_EQ(trace.texts(), c.traces) << c.entries.constData();
    }
}

TEST(DaysOfWeekReading, InvalidRulesAreTraced)
{
    const struct
    {
        QByteArray entries;
        const char *reason; // traced before "Invalid Week days schedule element"
    } cases[] = {
        {weekRule("<Monday type=\"bool\">false</Monday>", flags("All")), nullptr}, // no day
        {weekRule(flags("Monday"), flags("Sixth")), nullptr},
        {weekRule("<Monday>yes</Monday>", flags("All")),
         "Passed over WeekDays/Days/Monday - not a bool"},
        {weekRule(flags("monday"), flags("All")), nullptr},
        {"<Time>08:00</Time>", nullptr},
        // There but not a list: never "every day" or "every week".
        {"<WeekDays><Days>Monday</Days></WeekDays>", "WeekDays/Days is not a list"},
        {"<WeekDays><Days/></WeekDays>", "WeekDays/Days is not a list"},
        {"<WeekDays><WeekNumbers>Last</WeekNumbers></WeekDays>",
         "WeekDays/WeekNumbers is not a list"},
    };
    for (const auto &c : cases) {
        TraceCapture trace;
        EXPECT_FALSE(DaysOfWeek(body(c.entries.constData())).isValid()) << c.entries.constData();
        const QStringList invalid = {"Invalid Week days schedule element"};
        EXPECT_EQ(trace.texts(), c.reason ? QStringList(c.reason) + invalid : invalid);
    }
    TraceCapture trace;
    EXPECT_FALSE(DaysOfWeek(body("")).isValid());
    EXPECT_TRUE(trace.texts().isEmpty());
}

TEST(DaysOfWeekReading, TimeAndDurationEntries)
{
    const struct
    {
        const char *window;
        quint32 duration;
        const char *firstStart;
    } cases[] = {
        {"", 86400, "2023-01-02 00:00:00"},
        {"<Duration>60</Duration>", 86400, "2023-01-02 00:00:00"}, // ignored without Time
        {"<Time>10:30</Time>", 1, "2023-01-02 10:30:00"},
        {"<Time>10:30:15</Time><Duration>5</Duration>", 5, "2023-01-02 10:30:15"},
        {"<Time>25:61</Time><Duration>7</Duration>", 7, "2023-01-02 00:00:00"},
        {"<Time>10:30</Time><Duration>-5</Duration>", 1, "2023-01-02 10:30:00"},
        {"<Time>10:30</Time><Duration type=\"int\">-5</Duration>", 1, "2023-01-02 10:30:00"},
        {"<Time>10:30</Time><Duration>4294967296</Duration>", 1, "2023-01-02 10:30:00"},
    };
    for (const auto &c : cases) {
        const DaysOfWeek days = weekly("Monday", "All", c.window);
        ASSERT_TRUE(days.isValid()) << c.window;
        EXPECT_EQ(days.duration(), c.duration) << c.window;
        EXPECT_EQ(days.nextStartTime(local("2023-01-01 12:00:00")), local(c.firstStart))
            << c.window;
    }
}

TEST(DaysOfWeekSearch, NextStartTimeIsInclusiveAndFollowsWeeksOfTheMonth)
{
    const struct
    {
        const char *days;
        const char *weeks;
        const char *from;
        const char *expected;
    } cases[] = {
        {"Monday", "All", "2023-01-02 07:00:00", "2023-01-02 08:00:00"},
        {"Monday", "All", "2023-01-02 08:00:00", "2023-01-02 08:00:00"},     // at the start
        {"Monday", "All", "2023-01-02 08:00:01", "2023-01-09 08:00:00"},     // a second late
        {"Monday", "All", "2023-01-02 08:00:00.500", "2023-01-09 08:00:00"}, // half a second
        {"Monday", "All", "2023-01-01 23:59:59", "2023-01-02 08:00:00"},
        {"Monday", "First", "2023-04-04 00:00:00", "2023-05-01 08:00:00"},
        {"Friday", "Fifth", "2023-04-01 00:00:00", "2023-06-30 08:00:00"}, // skips May
        {"Tuesday", "Last", "2023-02-01 00:00:00", "2023-02-28 08:00:00"},
        {"Tuesday", "Fourth", "2023-02-01 00:00:00", "2023-02-28 08:00:00"},  // same day
        {"Thursday", "Last", "2024-02-01 00:00:00", "2024-02-29 08:00:00"},   // the fifth
        {"Thursday", "Fourth", "2024-02-01 00:00:00", "2024-02-22 08:00:00"}, // leap year
        {"Sunday", "Last", "2023-04-24 00:00:00", "2023-04-30 08:00:00"},
        {"Wednesday", "Last", "2023-05-01 00:00:00", "2023-05-31 08:00:00"},
        {"Wednesday", "Fourth", "2023-05-01 00:00:00", "2023-05-24 08:00:00"},
        {"Monday", "First", "2023-12-05 00:00:00", "2024-01-01 08:00:00"}, // year end
    };
    for (const auto &c : cases)
        EXPECT_EQ(weekly(c.days, c.weeks, "<Time>08:00</Time>").nextStartTime(local(c.from)),
                  local(c.expected))
            << c.days << " " << c.weeks << " from " << c.from;
}

TEST(DaysOfWeekSearch, NextRunTimeWithAndWithoutTheOpenWindow)
{
    const DaysOfWeek daily = weekly("All", "All", kHourAt8);
    const DaysOfWeek fridayNight = weekly("Friday", "All", kFridayNight);
    const struct
    {
        const DaysOfWeek &rule;
        const char *from;
        bool includeOpenWindow;
        const char *expected;
    } cases[] = {
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
    const DaysOfWeek daily = weekly("All", "All", kHourAt8);
    const DaysOfWeek fridayNight = weekly("Friday", "All", kFridayNight);
    const DaysOfWeek mondayTuesday = weekly("Monday Tuesday");
    const DaysOfWeek instant = weekly("Monday", "All", "<Time>08:00</Time><Duration>0</Duration>");
    const struct
    {
        const DaysOfWeek &rule;
        const char *t;
        bool inside;
        const char *outside;
    } cases[] = {
        {daily, "2023-01-02 08:30:00", true, "2023-01-02 09:00:01"},
        {daily, "2023-01-02 09:00:00", false, "2023-01-02 09:00:01"}, // at the end
        {daily, "2023-01-02 07:00:00", false, "2023-01-02 07:00:00"},
        {fridayNight, "2023-01-07 00:30:00", true, "2023-01-07 01:00:01"},
        {fridayNight, "2023-01-06 23:30:00", true, "2023-01-07 01:00:01"},
        {mondayTuesday, "2023-01-02 10:00:00", true, "2023-01-04 00:00:01"}, // back to back
        {instant, "2023-01-02 08:00:00", true, "2023-01-02 08:00:01"},
        {instant, "2023-01-02 08:00:01", false, "2023-01-02 08:00:02"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.rule.contains(local(c.t)), c.inside) << c.t;
        EXPECT_EQ(c.rule.moveOutside(local(c.t)), local(c.outside)) << c.t;
    }
}

TEST(DaysOfWeekWindows, TraceLinesOfTheAnswers)
{
    const DaysOfWeek daily = weekly("All", "All", kHourAt8);
    TraceCapture trace;
    EXPECT_TRUE(daily.contains(local("2023-01-02 08:30:00")));
    EXPECT_EQ(daily.moveOutside(local("2023-01-02 08:30:00")), local("2023-01-02 09:00:01"));
    EXPECT_EQ(
        trace.texts(),
        QStringList({"Get next start time following  07:30:00 Mon January 2 2023",
                     "Next start time 08:00:00 Mon January 2 2023",
                     "Next run time 08:30:00 Mon January 2 2023",
                     "Element contains 08:30:00 Mon January 2 2023",
                     "moveOutside( 08:30:00 Mon January 2 2023 )",
                     "Get next start time following  07:30:00 Mon January 2 2023",
                     "Next start time 08:00:00 Mon January 2 2023",
                     "Get next start time following  08:00:01 Mon January 2 2023",
                     "Next start time 08:00:00 Tue January 3 2023",
                     "Moved 08:30:00 Mon January 2 2023 outside to 09:00:01 Mon January 2 2023"}));
}

TEST(DaysOfWeekBounds, BackToBackWindowsAllYearGiveNoWayOut)
{
    // Windows of 25 hours overlap every day, also on the 25-hour day of the
    // fall-back change, so no instant within the year lies outside them.
    const DaysOfWeek always = weekly("All", "All", "<Time>00:00</Time><Duration>90000</Duration>");
    TraceCapture trace;
    EXPECT_FALSE(always.moveOutside(local("2023-01-02 10:00:00")).isValid());
    ASSERT_FALSE(trace.texts().isEmpty());
    EXPECT_EQ(trace.texts().last(), "Moved 10:00:00 Mon January 2 2023 outside to invalid");
    // 364 moves, each asking for one next start (two lines).
    EXPECT_EQ(trace.texts().size(), 1 + 364 * 2 + 1);
}

TEST(DaysOfWeekRefusals, InvalidRuleOrInstant)
{
    const DaysOfWeek invalid(body("<WeekDays><Days type=\"list\"/></WeekDays>"));
    const DaysOfWeek monday = weekly("Monday");
    ASSERT_FALSE(invalid.isValid());
    TraceCapture trace;
    EXPECT_FALSE(invalid.nextRunTime(local("2023-01-02 08:00:00"), false).isValid());
    EXPECT_FALSE(invalid.nextRunTime(QDateTime(), true).isValid());
    EXPECT_FALSE(invalid.nextStartTime(local("2023-01-02 08:00:00")).isValid());
    EXPECT_FALSE(monday.nextRunTime(QDateTime(), false).isValid());
    EXPECT_FALSE(monday.nextStartTime(QDateTime()).isValid());
    EXPECT_EQ(trace.texts(), QStringList({"Cannot get next run time for invalid DaysOfWeek",
                                          "Cannot get next run time for invalid DaysOfWeek",
                                          "Cannot get next start time for invalid DaysOfWeek",
                                          "Cannot get next run time for invalid time",
                                          "Cannot get next start time for invalid time"}));
    EXPECT_FALSE(invalid.contains(local("2023-01-02 08:00:00")));
    // An invalid rule opens no window, so every instant is already outside.
    EXPECT_EQ(invalid.moveOutside(local("2023-01-02 08:00:00")), local("2023-01-02 08:00:00"));
}

// Europe/Berlin: 2023-03-26 02:00 CET jumps to 03:00 CEST; 2023-10-29 03:00
// CEST falls back to 02:00 CET. A daily run at 02:30 must happen once a day:
// the missing 02:30 runs at 03:00, the repeated one the first time only.
TEST(DaysOfWeekDaylightSaving, DailyRunAtTwoThirtyHappensOnceEachDay)
{
    const DaysOfWeek daily = weekly("All", "All", "<Time>02:30</Time><Duration>3600</Duration>");
    const QList<QDateTime> cases[] = {
        {local("2023-03-25 02:30:00"), utc("2023-03-26 01:00:00"), local("2023-03-27 02:30:00")},
        {local("2023-10-28 02:30:00"), utc("2023-10-29 00:30:00"), local("2023-10-30 02:30:00")},
    };
    for (const QList<QDateTime> &expected : cases) {
        QList<QDateTime> runs;
        QDateTime from = expected.first().addSecs(-3600);
        for (int i = 0; i < 3; ++i) {
            runs << daily.nextRunTime(from, false);
            from = runs.last().addSecs(1);
        }
        EXPECT_EQ(runs, expected);
    }
}

TEST(DaysOfWeekDaylightSaving, WindowsAroundTheClockChange)
{
    const DaysOfWeek sunday =
        weekly("Sunday", "All", "<Time>02:30</Time><Duration>3600</Duration>");
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
