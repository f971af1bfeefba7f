// The worked examples of docs/schedules.md, run on the files the page links,
// and what the search records of them (tst_schedctl runs the page's
// `schedctl explain` lines).
#include "repeatperiod.h"
#include "schedtest.h"

#include <QFile>

namespace {

class DocumentedExamples : public SchedulerTest
{
protected:
    // The example rules/2/<name> of the page as P-1-Backup-1, not yet started.
    Schedule example(const char *name)
    {
        QFile file(QStringLiteral(ORVEL_SOURCE_DIR "/examples/home/rules/2/") +
                   QString::fromUtf8(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        write(QStringLiteral("s.xml"), file.readAll());
        return Schedule(QStringLiteral("P-1-Backup-1"), QStringLiteral("s.xml"), 1, store.get(),
                        true);
    }
};

TEST_F(DocumentedExamples, MaintenanceFridayFallsBackToSaturdayMorning)
{
    Orvel::Clock::setNow(at("2026-12-24 21:00"));
    Schedule s = example("nightly-with-fallback.xml");
    s.initiateSchedule();
    ASSERT_EQ(s.nextOccurrence(), at("2026-12-24 22:00"));
    Orvel::Clock::setNow(s.nextOccurrence());
    // Friday is excluded, Saturday 00:00:01 is outside the trigger's window,
    // and the fallback gives Saturday 06:00; the page's `schedctl explain`
    // shows each step of that search.
    SearchRecord record;
    s.setSearchRecord(&record);
    s.markOccurred(s.nextOccurrence());
    s.setSearchRecord(nullptr);
    EXPECT_EQ(record.excludedBy(), QList<int>{0});
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-26 06:00"));
    EXPECT_EQ(s.firingCause(), "fallback");
    EXPECT_EQ(valueAt(s.eventData(), "TriggerData/Level"), "incremental");
    EXPECT_EQ(valueAt(s.eventData(), "TriggerData/FallbackData/Reason"), "maintenance Friday");
    Orvel::Clock::setNow(s.nextOccurrence());
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-28 22:00"));
}

TEST_F(DocumentedExamples, HourlyObjectiveSkipsQuietNights)
{
    Orvel::Clock::setNow(at("2026-12-08 00:30"));
    Schedule s = example("quiet-nights.xml");
    ASSERT_TRUE(s.addRepeatPeriod(RepeatPeriod::Hours, 1, 1));
    s.initiateSchedule();
    ASSERT_EQ(s.nextOccurrence(), at("2026-12-08 00:30"));
    EXPECT_EQ(s.firingCause(), "objective");
    SearchRecord record;
    s.setSearchRecord(&record);
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-08 05:00:01"));
    EXPECT_EQ(record.excludedBy(), QList<int>{0}); // 01:30 is excluded, 05:00:01 not
    record.retrace(s);
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-08 05:00:01"));
    EXPECT_EQ(record.excludedBy(), QList<int>{0});
    Orvel::Clock::setNow(s.nextOccurrence());
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-08 06:00:01"));
}

} // namespace
