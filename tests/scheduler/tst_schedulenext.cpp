// Next occurrence: triggers, exclusions and fallbacks combined.
#include "repeatperiod.h"
#include "schedtest.h"

#include <tuple>

namespace {

using NextOccurrence = SchedulerTest;

// Elements are parted by "; ", and "60* " repeats one; op ">=" is the
// inclusive search, ">" the exclusive one; `indexes` names the trigger, the
// fallback and the exclusions recorded as covering the trigger's time.
TEST_F(NextOccurrence, CombinesTriggersExclusionsAndFallbacks)
{
    const char *const rows[][5] = {
        // The earliest trigger wins, ties go to the first.
        {"week All 08:00/60; week All 10:00/60; week All 07:30/60; week All 07:30/60",
         "2026-12-07 07:00", ">=", "2026-12-07 07:30", "2 -1"},
        // An open window answers at once inclusively, else the next window start.
        {"week Monday", "2026-12-07 10:00", ">=", "2026-12-07 10:00", "0 -1"},
        {"week Monday", "2026-12-07 10:00", ">", "2026-12-14 00:00", "0 -1"},
        // An exclusion pushes the time along inside the trigger window.
        {"week All 08:00/7200; Exclude week All 07:00/7200", "2026-12-07 06:00",
         ">=", "2026-12-07 09:00:01", "0 -1 0"},
        // Pushed out of its window, the trigger takes the fallback...
        {"week All 08:00/1; Exclude week All 07:00/7200; Fallback week All 12:00/3600",
         "2026-12-07 06:00", ">=", "2026-12-07 12:00", "0 0 0"},
        // ... whose excluded time moves inside the fallback window...
        {"week All 08:00/1; Exclude week All 07:00/7200; Exclude week All 12:00/1800; Fallback "
         "week All 12:00/3600",
         "2026-12-07 06:00", ">=", "2026-12-07 12:30:01", "0 0 0"},
        // ... and the earliest fallback wins, ties going to the first.
        {"week All 08:00/1; Exclude week All 07:00/7200; Fallback week All 14:00/60; Fallback week "
         "All 11:00/60",
         "2026-12-07 06:00", ">=", "2026-12-07 11:00", "0 1 0"},
        {"week All 08:00/1; Exclude week All 07:00/7200; Fallback week All 11:00/60; Fallback week "
         "All 11:00/60",
         "2026-12-07 06:00", ">=", "2026-12-07 11:00", "0 0 0"},
        // From inside an excluded window the inclusive search takes a fallback
        // however far off, while the exclusive one reaches the next run first.
        {"week All 08:00/3600; Exclude week Monday 07:30/7200; Fallback week Saturday 10:00/60",
         "2026-12-07 08:10", ">=", "2026-12-12 10:00", "0 0 0"},
        {"week All 08:00/3600; Exclude week Monday 07:30/7200; Fallback week Saturday 10:00/60",
         "2026-12-07 08:10", ">", "2026-12-08 08:00", "0 -1"},
        // Without fallbacks the trigger is retried at its next run time.
        {"week Monday Tuesday 08:00/1; Exclude week Monday", "2026-12-07 06:00",
         ">=", "2026-12-08 08:00", "0 -1 0"},
        // Overlapping exclusions: the scan restarts after every move.
        {"week Monday; Exclude week All 08:30/3600; Exclude week All 08:00/3600",
         "2026-12-07 08:15", ">=", "2026-12-07 09:30:01", "0 -1 1 0"},
        // One that moves the time twice is named once.
        {"week Monday 23:30/172800; Exclude week All 23:00/3600; Exclude week Tuesday 00:00/82800",
         "2026-12-07 06:00", ">=", "2026-12-09 00:00:01", "0 -1 0 1"},
        {"manual Nightly", "2026-12-07 06:00", ">=", "never", "-1 -1"},
        {"manual Nightly; week All 08:00/60", "2026-12-07 06:00", ">=", "2026-12-07 08:00", "1 -1"},
        // Excluded on its last calendar date, with no fallback: none. 25-hour
        // windows every day overlap: no way out of them.
        {"dates dates.cfg 08:00/1; Exclude week All 07:00/7200", "2026-12-07 06:00", ">=", "never",
         "-1 -1"},
        {"week All 08:00/60; Exclude week All 00:00/90000", "2026-12-07 08:00", ">=", "never",
         "-1 -1"},
        // A trigger that spends its steps offers nothing and spares the next one.
        {"week All 08:00/1; week Tuesday 12:00/3600; Exclude week All 11:30/3600; 60* Exclude week "
         "All 07:00/7200",
         "2026-12-07 06:00", ">=", "2026-12-08 12:30:01", "1 -1 0"},
        {"week All 08:00/1; week All 12:00/60; 60* Exclude week All 07:00/7200", "2026-12-07 06:00",
         ">=", "2026-12-07 12:00", "1 -1"},
        // Mornings and, on the dates listed, afternoons excluded: 181 dates
        // take 363 moves, 182 dates the 365 that end a search.
        {"dates dates.cfg 00:00/17280000; Exclude week All 00:00/43200; Exclude dates 181.cfg "
         "12:00/43200",
         "2026-12-07 00:00", ">=", "2027-06-06 12:00:01", "0 -1 0 1"},
        {"dates dates.cfg 00:00/17280000; Exclude week All 00:00/43200; Exclude dates 182.cfg "
         "12:00/43200",
         "2026-12-07 00:00", ">=", "never", "-1 -1"},
    };
    write(QStringLiteral("dates.cfg"), Rules::calendarFile({"20261207"}));
    for (const int days : {181, 182}) {
        QStringList dates;
        for (int day = 0; day < days; ++day)
            dates << at("2026-12-07 00:00").date().addDays(day).toString("yyyyMMdd");
        write(QStringLiteral("%1.cfg").arg(days), Rules::calendarFile(dates));
    }
    for (const auto &[words, from, op, expected, expectedIndexes] : rows) {
        SCOPED_TRACE(words);
        QStringList elements;
        for (const QString &element : QString::fromLatin1(words).split("; "))
            elements +=
                element.startsWith("60* ") ? QStringList(60, element.mid(4)) : QStringList{element};
        Schedule s = loaded(elements);
        ASSERT_TRUE(s.isValid());
        SearchRecord record;
        s.setSearchRecord(&record);
        EXPECT_EQ(s.getNextOccurrence(at(from), op == QLatin1String(">=")), at(expected));
        QStringList indexes = {QString::number(s.triggerIndex()),
                               QString::number(s.fallbackIndex())};
        for (int index : record.excludedBy())
            indexes << QString::number(index);
        EXPECT_EQ(indexes.join(' '), expectedIndexes);
    }
}

TEST_F(NextOccurrence, AnExcludedTriggerWithoutFallbackIsRetriedForTheNamedPasses)
{
    Schedule s = loaded({"week All 08:00/1", "Exclude week All 07:00/7200"});
    // With no fallback and a daily exclusion, every retry is excluded: the
    // passes run out and the trigger's next time is used unchecked.
    EXPECT_EQ(s.getNextOccurrence(at("2026-12-07 06:00"), true), at("2026-12-08 08:00"));
    EXPECT_EQ(trace.texts().count("Trigger is excluded. No fallback found. Retry trigger"), 365);
}

TEST_F(NextOccurrence, RepeatPeriodTriggerTakesItsTimeFromTheFallbacks)
{
    Schedule s = loaded({"Fallback week All 22:00/3600 data=late"});
    EXPECT_FALSE(s.isValid());                // fallbacks alone never fire
    EXPECT_FALSE(s.addRepeatPeriod(0, 4, 1)); // no such unit: nothing added
    ASSERT_TRUE(s.addRepeatPeriod(RepeatPeriod::Hours, 4, 1));
    EXPECT_EQ(s.getNextOccurrence(at("2026-12-07 07:00"), true), at("2026-12-07 22:00"));
    EXPECT_EQ(s.fallbackIndex(), 0);
    EXPECT_EQ(valueAt(s.eventData(), "TriggerData/FallbackData/Slot"), "late");
    Orvel::XmlList triggerData;
    ASSERT_TRUE(s.eventData().get(triggerData, QStringLiteral("TriggerData")));
    EXPECT_EQ(triggerData.size(), 1);
}

} // namespace
