// Schedule lifecycle: start, firing, manual triggers, running out, and the
// times kept in the store across restarts.
#include "repeatperiod.h"
#include "rulesupport.h"
#include "scheduletestsupport.h"

using namespace Elements;
using Orvel::XmlList;

class ScheduleLife : public ScheduleTest
{
protected:
    Schedule started(const QString &file = QStringLiteral("s.xml"))
    {
        Schedule s = schedule(file);
        s.initiateSchedule();
        return s;
    }
    // s.xml: daily from 08:00 for an hour.
    void writeDaily() const { writeScheduleFile("s.xml", {daily("Trigger", "08:00", 3600)}); }
    void writeCalendar(const QStringList &dates) const
    {
        QByteArray text = "<calendar><Calendar>";
        for (const QString &date : dates)
            text += "<Date>" + date.toUtf8() + "</Date>";
        home.write(QStringLiteral("rules/1/dates.cfg"), text + "</Calendar></calendar>");
    }
};

TEST_F(ScheduleLife, NeverFiredStartsFromNowInclusiveAndAnOpenWindowFiresOnce)
{
    writeDaily();
    EXPECT_EQ(started().nextOccurrence(), at(2026, 12, 7, 8, 0));
    setNow(at(2026, 12, 7, 8, 30));
    Schedule open = started();
    EXPECT_EQ(open.nextOccurrence(), at(2026, 12, 7, 8, 30));
    open.markOccurred(open.nextOccurrence());
    EXPECT_EQ(open.nextOccurrence(), at(2026, 12, 8, 8, 0));
}

TEST_F(ScheduleLife, MissedRunsAreNotMadeUp)
{
    writeDaily();
    started().markOccurred(at(2026, 11, 30, 8, 0)); // a week ago
    reopenStore();
    setNow(at(2026, 12, 7, 12, 0));
    EXPECT_EQ(started().nextOccurrence(), at(2026, 12, 8, 8, 0));
}

TEST_F(ScheduleLife, AStoredTimeInTheFutureOrUnreadableCountsAsNeverFired)
{
    writeDaily();
    // The first is in the future; the others are not times at all.
    for (const char *last : {"20261207080000", "2026-12-01 08:00", "20261301080000",
                             "20261201250000", "2026120108000", "202612010800000"}) {
        XmlList record;
        record.set(QStringLiteral("LastOccurance"), last, XmlList::Replace);
        record.set(QStringLiteral("NextOccurance"), "soon", XmlList::Replace);
        store->set("P-1-Backup-1", record, 1);
        Schedule s = started();
        EXPECT_EQ(s.lastOccurrence(), QDateTime()) << last;
        EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 7, 8, 0)) << last;
    }
    EXPECT_TRUE(trace.contains("Clear 'last occurance' for P-1-Backup-1 as in the future!"));
}

// Europe/Berlin: on 25 October 2026 the clocks go back from 03:00 CEST to
// 02:00 CET, so 02:15 comes at 00:15 and again at 01:15 UTC; on 29 March
// 2026 they skip from 02:00 to 03:00 CET. A restart after a firing in either
// half of the repeated hour neither fires again nor loses a run.
TEST_F(ScheduleLife, StoredTimesKeepTheirInstantAcrossTheClockChanges)
{
    writeScheduleFile("s.xml", {daily("Trigger", "02:15", 3 * 3600)});
    const auto restarted = [this](bool hourly) {
        Schedule s = hourly ? Schedule("P-1-Backup-1", 1, store.get(), true) : schedule("s.xml");
        if (hourly)
            s.addRepeatPeriod(RepeatPeriod::Hours, 1, 1);
        s.initiateSchedule();
        return s;
    };
    const struct
    {
        bool hourly;
        const char *fired;  // in UTC; or null for a record written before offsets were kept:
        const char *stored; // its "LastOccurance" alone
        const char *restart;
        const char *next; // in UTC
    } cases[] = {
        {false, "2026-10-25 00:15:00", nullptr, "2026-10-25 01:10:00", "2026-10-26 01:15:00"},
        {false, "2026-10-25 01:15:00", nullptr, "2026-10-25 01:20:00", "2026-10-26 01:15:00"},
        {true, "2026-10-25 00:15:00", nullptr, "2026-10-25 01:10:00", "2026-10-25 01:15:00"},
        {true, "2026-10-25 01:15:00", nullptr, "2026-10-25 01:20:00", "2026-10-25 02:15:00"},
        // Without the offset: the first 02:15, and the end of the spring gap.
        {true, nullptr, "20261025021500", "2026-10-25 00:30:00", "2026-10-25 01:15:00"},
        {true, nullptr, "20260329023000", "2026-03-29 01:10:00", "2026-03-29 02:00:00"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fired ? c.fired : c.stored);
        if (c.fired) {
            setNow(utc(c.fired));
            restarted(c.hourly).markOccurred(utc(c.fired));
        } else {
            XmlList legacy;
            legacy.set(QStringLiteral("LastOccurance"), c.stored, XmlList::Replace);
            store->set("P-1-Backup-1", legacy, 1);
            store->save();
        }
        reopenStore();
        setNow(utc(c.restart));
        EXPECT_EQ(restarted(c.hourly).nextOccurrence(), utc(c.next));
    }
}

TEST_F(ScheduleLife, ManualTriggerMakesTheScheduleDueNowWithItsData)
{
    writeScheduleFile("s.xml", {daily("Trigger", "08:00", 3600, "daily"),
                                manual("Nightly", "by hand"), manual("nightly")});
    Schedule s = started();
    EXPECT_EQ(s.manualTriggerNames(), QStringList({"Nightly", "nightly"}));
    EXPECT_TRUE(s.hasManualTrigger(QStringLiteral("NIGHTLY")));
    EXPECT_FALSE(s.triggerManual(QStringLiteral("Weekly"), QStringLiteral("t")));
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 7, 8, 0));
    EXPECT_EQ(s.firingCause(), "trigger");

    setNow(at(2026, 12, 7, 7, 30));
    ASSERT_TRUE(s.triggerManual(QStringLiteral("NIGHTLY"), QStringLiteral("tag")));
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 7, 7, 30));
    EXPECT_EQ(s.triggerIndex(), 2); // the last match becomes current
    EXPECT_EQ(s.firingCause(), "manual");
    EXPECT_EQ(
        s.eventData().toBinary(),
        QByteArray("<list><TriggerData type=\"list\"><ManualTrigger type=\"text\">nightly"
                   "</ManualTrigger><UserTag type=\"text\">tag</UserTag></TriggerData></list>"));

    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 7, 8, 0));
    EXPECT_EQ(s.triggerIndex(), 0);
}

TEST_F(ScheduleLife, ASingleCalendarDateFiresOnceThenRunsOutUntilTheRulesAddADate)
{
    writeCalendar({"20261207"});
    writeScheduleFile(QStringLiteral("s.xml"), {calendar("Trigger", "dates.cfg")});
    setNow(at(2026, 12, 7, 10, 0));
    Schedule s = started();
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 7, 10, 0));
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), QDateTime());
    EXPECT_TRUE(
        trace.contains("No further occurance for P-1-Backup-1 after 10:00:00 Mon December 7 2026 "
                       "- the schedule has run out"));

    setNow(at(2026, 12, 7, 18, 0));
    reopenStore();
    EXPECT_EQ(started().nextOccurrence(), QDateTime());
    EXPECT_EQ(storedText("P-1-Backup-1", "NextOccurance"), QString());
    EXPECT_EQ(storedText("P-1-Backup-1", "LastOccurance"), QStringLiteral("20261207100000"));

    writeCalendar({"20261207", "20261210"});
    EXPECT_EQ(started().nextOccurrence(), at(2026, 12, 10, 0, 0));
}

TEST_F(ScheduleLife, APeriodBeyondTheDateRangeFiresOnceThenRunsOut)
{
    Schedule s(QStringLiteral("forever"), 1, store.get(), true);
    ASSERT_TRUE(s.addRepeatPeriod(RepeatPeriod::Years, 4294967295u, 1));
    s.initiateSchedule();
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 7, 7, 0));
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), QDateTime());
    setNow(at(2026, 12, 7, 9, 0));
    s.markOccurred(at(2026, 12, 7, 9, 0));
    EXPECT_EQ(s.nextOccurrence(), QDateTime());
}

TEST_F(ScheduleLife, TimesAreStoredAsWholeSecondsAndReplacedWhole)
{
    writeDaily();
    Schedule s = started();
    EXPECT_EQ(storedText("P-1-Backup-1", "NextOccurance"), QStringLiteral("20261207080000"));
    EXPECT_EQ(storedText("P-1-Backup-1", "LastOccurance"), QString());
    s.markOccurred(at(2026, 12, 7, 8, 0).addMSecs(500));
    EXPECT_EQ(storedText("P-1-Backup-1", "LastOccurance"), QStringLiteral("20261207080000"));
    EXPECT_EQ(storedText("P-1-Backup-1", "NextOccurance"), QStringLiteral("20261208080000"));

    reopenStore();
    setNow(at(2026, 12, 7, 9, 0));
    Schedule restarted = started();
    EXPECT_EQ(restarted.lastOccurrence(), at(2026, 12, 7, 8, 0));
    EXPECT_EQ(restarted.nextOccurrence(), at(2026, 12, 8, 8, 0));
}

TEST_F(ScheduleLife, WithoutAtomicOrNameNothingIsStored)
{
    writeDaily();
    Schedule s("P-1-Backup-1", QStringLiteral("s.xml"), 1, store.get(), false);
    s.initiateSchedule();
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 7, 8, 0));
    EXPECT_TRUE(trace.contains("saveTimes SKIP P-1-Backup-1 Atomic: false"));
    Schedule noStore(QStringLiteral("x"), QStringLiteral("s.xml"), 1, nullptr, true);
    noStore.initiateSchedule();
    EXPECT_TRUE(trace.contains("saveTimes SKIP x Atomic: true No config"));
    EXPECT_TRUE(store->isEmpty());
}
