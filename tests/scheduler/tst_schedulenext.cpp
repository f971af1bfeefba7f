// Next occurrence: triggers, exclusions and fallbacks combined.
#include "repeatperiod.h"
#include "scheduletestsupport.h"

using namespace Elements;
using Orvel::XmlList;

namespace {

QDateTime monday(int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 12, 7), QTime(hour, minute, second));
}

QDateTime tuesday(int hour, int minute, int second = 0)
{
    return monday(hour, minute, second).addDays(1);
}

} // namespace

using NextOccurrence = ScheduleTest;

TEST_F(NextOccurrence, CombinesTriggersExclusionsAndFallbacks)
{
    // The next occurrence from `from`, the trigger and fallback it came from,
    // and the exclusions the search records as covering that trigger's time.
    const auto expectNext = [this](const char *what, const QStringList &elements,
                                   const QDateTime &from, bool inclusive, const QDateTime &expected,
                                   int trigger, int fallback, const QList<int> &excludedBy) {
        SCOPED_TRACE(what);
        writeScheduleFile("s.xml", elements);
        Schedule s = schedule("s.xml");
        ASSERT_TRUE(s.isValid());
        SearchRecord record;
        s.setSearchRecord(&record);
        EXPECT_EQ(s.getNextOccurrence(from, inclusive), expected);
        EXPECT_EQ(s.triggerIndex(), trigger);
        EXPECT_EQ(s.fallbackIndex(), fallback);
        EXPECT_EQ(record.excludedBy(), excludedBy);
    };
    expectNext("earliest trigger wins, ties go to the first",
               {daily("Trigger", "10:00", 60), daily("Trigger", "08:00", 60),
                daily("Trigger", "08:00", 60)},
               monday(7, 0), true, monday(8, 0), 1, -1, {});
    expectNext("inclusive search answers an open window at once", {weekdays("Trigger", {"Monday"})},
               monday(10, 0), true, monday(10, 0), 0, -1, {});
    expectNext("exclusive search answers the next window start", {weekdays("Trigger", {"Monday"})},
               monday(10, 0), false, monday(0, 0).addDays(7), 0, -1, {});
    expectNext("exclusion pushes the time along inside the trigger window",
               {daily("Trigger", "08:00", 7200), daily("Exclude", "07:00", 7200)}, monday(6, 0),
               true, monday(9, 0, 1), 0, -1, {0});
    expectNext("pushed out of its window, the trigger takes the fallback",
               {daily("Trigger", "08:00", 1), daily("Exclude", "07:00", 7200),
                daily("Fallback", "12:00", 3600)},
               monday(6, 0), true, monday(12, 0), 0, 0, {0});
    expectNext("an excluded fallback time moves inside the fallback window",
               {daily("Trigger", "08:00", 1), daily("Exclude", "07:00", 7200),
                daily("Exclude", "12:00", 1800), daily("Fallback", "12:00", 3600)},
               monday(6, 0), true, monday(12, 30, 1), 0, 0, {0});
    expectNext("the earliest fallback wins",
               {daily("Trigger", "08:00", 1), daily("Exclude", "07:00", 7200),
                daily("Fallback", "14:00", 60), daily("Fallback", "11:00", 60)},
               monday(6, 0), true, monday(11, 0), 0, 1, {0});
    // From inside an excluded window the inclusive search takes a fallback
    // however far off, while the exclusive one reaches the next run first.
    const QStringList weekdaysWithSaturdayFallback = {
        weekdays("Trigger", {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday"}, "08:00",
                 3600),
        weekdays("Exclude", {"Monday"}, "07:30", 7200),
        weekdays("Fallback", {"Saturday"}, "10:00", 60)};
    expectNext("a fallback stands in for an excluded run at any distance",
               weekdaysWithSaturdayFallback, monday(8, 10), true,
               QDateTime(QDate(2026, 12, 12), QTime(10, 0)), 0, 0, {0});
    expectNext("the exclusive search passes the excluded run by", weekdaysWithSaturdayFallback,
               monday(8, 10), false, tuesday(8, 0), 0, -1, {});
    expectNext(
        "without fallbacks the trigger is retried at its next run time",
        {weekdays("Trigger", {"Monday", "Tuesday"}, "08:00", 1), weekdays("Exclude", {"Monday"})},
        monday(6, 0), true, tuesday(8, 0), 0, -1, {0});
    expectNext("overlapping exclusions: the scan restarts after every move",
               {weekdays("Trigger", {"Monday"}), daily("Exclude", "08:30", 3600),
                daily("Exclude", "08:00", 3600)},
               monday(8, 15), true, monday(9, 30, 1), 0, -1, {1, 0});
    expectNext("manual triggers alone give no time", {manual("Nightly")}, monday(6, 0), true,
               QDateTime(), -1, -1, {});
    expectNext("a trigger that spends its steps offers nothing and spares the next one",
               QStringList{daily("Trigger", "08:00", 1),
                           weekdays("Trigger", {"Tuesday"}, "12:00", 3600),
                           daily("Exclude", "11:30", 3600)} +
                   QStringList(60, daily("Exclude", "07:00", 7200)),
               monday(6, 0), true, tuesday(12, 30, 1), 1, -1, {0});
    expectNext("a trigger that spends its steps offers nothing and spares the next one",
               QStringList{daily("Trigger", "08:00", 1), daily("Trigger", "12:00", 60)} +
                   QStringList(60, daily("Exclude", "07:00", 7200)),
               monday(6, 0), true, monday(12, 0), 1, -1, {});
}

TEST_F(NextOccurrence, TracesWhyATimeMoved)
{
    writeScheduleFile("s.xml", {daily("Trigger", "08:00", 1), daily("Exclude", "07:00", 7200)});
    Schedule s = schedule("s.xml");
    // With no fallback and a daily exclusion, every retry is excluded: the
    // passes run out and the trigger's next time is used unchecked.
    EXPECT_EQ(s.getNextOccurrence(monday(6, 0), true), tuesday(8, 0));
    const QStringList texts = trace.texts();
    EXPECT_TRUE(texts.contains(
        "Exclusion moved trigger to 09:00:01 Mon December 7 2026 Fallback required"));
    EXPECT_TRUE(texts.contains("Trigger is excluded. No fallback or further trigger found"));
    EXPECT_EQ(texts.count("Trigger is excluded. No fallback found. Retry trigger"), 365);
}

TEST_F(NextOccurrence, ExclusionsThatNeverEndGiveNone)
{
    // 25-hour windows every day overlap, so there is no way out. (Whole-day
    // windows of 86400 s would leave the extra hour of the autumn change free.)
    writeScheduleFile("s.xml", {daily("Trigger", "08:00", 60), daily("Exclude", "00:00", 90000)});
    Schedule s = schedule("s.xml");
    EXPECT_EQ(s.moveOutOfExclusions(monday(8, 0)), QDateTime());
    EXPECT_TRUE(trace.lines().last().contains(" 0 schedule:"));
    EXPECT_EQ(trace.texts().last(), "Exclusion of 08:00:00 Mon December 7 2026 lasts for eternity");
}

TEST_F(NextOccurrence, AnExcludedLastCalendarDateGivesNone)
{
    home.write(QStringLiteral("rules/1/dates.cfg"),
               "<c><Calendar><Date>20261207</Date></Calendar></c>");
    writeScheduleFile(
        "s.xml", {calendar("Trigger", "dates.cfg", "08:00", 1), daily("Exclude", "07:00", 7200)});
    Schedule s = schedule("s.xml");
    int fallback = 7;
    const ScheduleElement trigger(
        XmlList::fromText("<e>" + calendar("Trigger", "dates.cfg", "08:00", 1).toUtf8() + "</e>",
                          "t"),
        1);
    EXPECT_EQ(s.findFallback(trigger, monday(9, 0, 1), &fallback), QDateTime());
    EXPECT_EQ(fallback, -1);
    EXPECT_TRUE(trace.contains("Failed to find fallback or next trigger time"));
    EXPECT_EQ(s.getNextOccurrence(monday(6, 0), true), QDateTime());
    EXPECT_EQ(s.triggerIndex(), -1);
    EXPECT_TRUE(trace.contains("No Next occurance for P-1-Backup-1 !"));
}

TEST_F(NextOccurrence, RepeatPeriodTriggerTakesItsTimeFromTheFallbacks)
{
    writeScheduleFile("s.xml", {daily("Fallback", "22:00", 3600, "late")});
    Schedule s = schedule("s.xml");
    EXPECT_FALSE(s.isValid()); // fallbacks alone never fire
    ASSERT_TRUE(s.addRepeatPeriod(RepeatPeriod::Hours, 4, 1));
    EXPECT_EQ(s.getNextOccurrence(monday(7, 0), true), monday(22, 0));
    EXPECT_EQ(s.fallbackIndex(), 0);
    XmlList triggerData;
    ASSERT_TRUE(s.eventData().get(triggerData, QStringLiteral("TriggerData")));
    XmlList fallbackData;
    ASSERT_TRUE(triggerData.get(fallbackData, QStringLiteral("FallbackData")));
    QString slot;
    EXPECT_TRUE(fallbackData.get(slot, QStringLiteral("Slot")));
    EXPECT_EQ(slot, QStringLiteral("late"));
    EXPECT_EQ(triggerData.size(), 1);
}
