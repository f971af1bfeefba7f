// One schedule over its life: its file, its times in the store across
// restarts and clock changes, manual triggers, and running out.
#include "repeatperiod.h"
#include "schedtest.h"

#include <tuple>

using Orvel::XmlList;
using Role = ScheduleElement::Role;

namespace {

const QString kName = QStringLiteral("P-1-Backup-1");

class ScheduleLife : public SchedulerTest
{
protected:
    // The schedule of rules/1/s.xml, or of a repeat period for "every N Unit".
    Schedule restartedAs(const QString &rule)
    {
        if (!rule.startsWith(QLatin1String("every")))
            return restarted();
        Schedule s(kName, 1, store.get(), true);
        s.addRepeatPeriod(RepeatPeriod::unitFromName(rule.section(' ', 2)),
                          rule.section(' ', 1, 1).toUInt(), 1);
        s.initiateSchedule();
        return s;
    }
    QString stored(const char *key) const
    {
        XmlList record;
        store->get(record, kName);
        return valueAt(record, QLatin1String(key));
    }
};

} // namespace

TEST_F(ScheduleLife, ReadsItsElementsByRoleAndPassesOverBadOnes)
{
    write("s.xml", "<schedule><ScheduleElement>text</ScheduleElement>" +
                       Rules::scheduleFile({"Exclude week All 07:00/60", "<Time>08:00</Time>",
                                            "week All 08:00/60 data=x", "TriggerFallback week"})
                           .mid(10));
    Schedule s(kName, "s.xml", 1, store.get(), true);
    EXPECT_TRUE(s.isValid());
    EXPECT_EQ(s.eventData(), XmlList()); // no occurrence yet
    for (const Role role : {Role::Trigger, Role::Exclusion, Role::Fallback})
        EXPECT_EQ(s.elements(role).size(), 1);
    s.initiateSchedule();
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-07 08:00"));
    EXPECT_EQ(valueAt(s.eventData(), "TriggerData/Slot"), "x");
}

TEST_F(ScheduleLife, AnUnusableFileGivesAScheduleThatNeverFiresAndSaysWhy)
{
    write("empty.xml", "<schedule/>");
    write("exclusions.xml", Rules::scheduleFile({"Exclude week"}));
    home.write("rules/2/s.xml", Rules::scheduleFile({"week"}));
    const std::pair<const char *, const char *> rows[] = {
        {"missing.xml", "Failed to open the schedule file %1/rules/1/missing.xml"},
        {"empty.xml", "Empty schedule file %1/rules/1/empty.xml"},
        {"exclusions.xml", ""},
        {"../2/s.xml", "Failed to open the schedule file ../2/s.xml"},
    };
    for (const auto &[file, traced] : rows) {
        SCOPED_TRACE(file);
        TraceCapture faults(2);
        Schedule s(kName, QString::fromLatin1(file), 1, store.get(), true);
        EXPECT_FALSE(s.isValid());
        s.initiateSchedule();
        s.markOccurred(at("2026-12-07 08:00"));
        EXPECT_EQ(s.nextOccurrence(), QDateTime());
        EXPECT_EQ(s.lastOccurrence(), QDateTime());
        EXPECT_TRUE(faults.texts().join('|').contains(
            QString::fromLatin1(traced).replace("%1", home.path())));
    }
    TraceCapture faults(2);
    EXPECT_FALSE(Schedule(kName, "s.xml", 0, store.get(), true).isValid());
    EXPECT_EQ(faults.texts(), QStringList({"Rules inactive: Rule set 0"}));
    EXPECT_TRUE(store->isEmpty());
}

// "last" is the stored LastOccurance, with "+seconds" its UTC offset; a time
// read as none, or one in the future, counts as never fired. Europe/Berlin:
// on 2026-10-25 02:15 comes at 00:15 and again at 01:15 UTC, on 2026-03-29
// the clocks skip from 02:00 to 03:00.
TEST_F(ScheduleLife, RestartsFromTheStoredLastFiring)
{
    const char *const rules[] = {"week All 08:00/3600", "week All 02:15/10800", "every 1 Hours"};
    const std::tuple<int, const char *, const char *, const char *, const char *> rows[] = {
        {0, "20261206095959", "2026-12-07 07:00", "2026-12-07 08:00", "2026-12-06 09:59:59"},
        {0, "20261130080000", "2026-12-07 12:00", "2026-12-08 08:00", "2026-11-30 08:00"}, // missed
        {0, "20261207080000", "2026-12-07 07:00", "2026-12-07 08:00", "never"}, // in the future
        {0, "20261301080000", "2026-12-07 07:00", "2026-12-07 08:00", "never"},
        {0, "20261201250000", "2026-12-07 07:00", "2026-12-07 08:00", "never"},
        {0, "2026120108000", "2026-12-07 07:00", "2026-12-07 08:00", "never"},
        {0, "202612010800000", "2026-12-07 07:00", "2026-12-07 08:00", "never"},
        {0, "202612010:0000", "2026-12-07 07:00", "2026-12-07 08:00", "never"},
        {0, "20261/01080000", "2026-12-07 07:00", "2026-12-07 08:00", "never"},
        {1, "20261025021500+7200", "2026-10-25 01:10Z", "2026-10-26 01:15Z", "2026-10-25 00:15Z"},
        {1, "20261025021500+3600", "2026-10-25 01:20Z", "2026-10-26 01:15Z", "2026-10-25 01:15Z"},
        {2, "20261025021500+7200", "2026-10-25 01:10Z", "2026-10-25 01:15Z", "2026-10-25 00:15Z"},
        {2, "20261025021500+3600", "2026-10-25 01:20Z", "2026-10-25 02:15Z", "2026-10-25 01:15Z"},
        // Without an offset, or with one the clock never showed there: the
        // first 02:15, and the end of the spring gap.
        {2, "20261025021500", "2026-10-25 00:30Z", "2026-10-25 01:15Z", "2026-10-25 00:15Z"},
        {2, "20261025021500+0", "2026-10-25 00:30Z", "2026-10-25 01:15Z", "2026-10-25 00:15Z"},
        {2, "20260329023000", "2026-03-29 01:10Z", "2026-03-29 02:00Z", "2026-03-29 01:00Z"},
    };
    for (const auto &[rule, lastText, now, next, lastRead] : rows) {
        SCOPED_TRACE(lastText);
        write("s.xml", Rules::scheduleFile({rules[rule]}));
        XmlList record;
        const QString last = QString::fromLatin1(lastText);
        record.set("LastOccurance", last.section('+', 0, 0), XmlList::Replace);
        if (last.contains('+'))
            record.set("LastOccuranceUtcOffset", last.section('+', 1).toInt(), XmlList::Replace);
        record.set("NextOccurance", QStringLiteral("soon"), XmlList::Replace);
        store->set(kName, record, XmlList::Replace);
        Orvel::Clock::setNow(at(now));
        const Schedule s = restartedAs(QString::fromLatin1(rules[rule]));
        EXPECT_EQ(s.nextOccurrence(), at(next));
        EXPECT_EQ(s.lastOccurrence(), at(lastRead));
    }
}

// A firing is stored in whole seconds with its UTC offset, and an open
// window, or a window start, fires once.
TEST_F(ScheduleLife, AFiringIsStoredAndAWindowFiresOnce)
{
    Orvel::Clock::setNow(at("2026-10-25 01:30Z")); // 02:30 CET, the second time
    Schedule s = started({"week All 02:00/7200"});
    EXPECT_EQ(s.nextOccurrence(), at("2026-10-25 01:30Z"));
    s.markOccurred(at("2026-10-25 01:30:00.500Z"));
    EXPECT_EQ(s.nextOccurrence(), at("2026-10-26 02:00"));
    EXPECT_EQ(stored("LastOccurance"), "20261025023000");
    EXPECT_EQ(stored("LastOccuranceUtcOffset"), "3600");
    EXPECT_EQ(stored("NextOccurance"), "20261026020000");
    reopenStore();
    const Orvel::ConfigLocal::DeferredSaves delivery;
    Schedule again = restarted();
    EXPECT_EQ(again.lastOccurrence(), at("2026-10-25 01:30Z"));
    EXPECT_EQ(again.nextOccurrence(), at("2026-10-26 02:00"));
    EXPECT_FALSE(store->isDirty()); // the times it found are the ones it keeps
    Orvel::Clock::setNow(at("2026-10-26 02:00"));
    again.markOccurred(at("2026-10-26 02:00"));
    EXPECT_EQ(again.nextOccurrence(), at("2026-10-27 02:00"));
    EXPECT_TRUE(store->isDirty());
}

// The times of a schedule that is not atomic, or has no name or store, are
// neither read nor written.
TEST_F(ScheduleLife, OnlyANamedAtomicScheduleWithAStoreKeepsItsTimes)
{
    write("s.xml", Rules::scheduleFile({"week All 08:00/3600"}));
    XmlList record;
    record.set("LastOccurance", QStringLiteral("20261206073000"), XmlList::Replace);
    store->set(kName, record, XmlList::Replace);
    for (Schedule s : {Schedule(kName, "s.xml", 1, store.get(), false),
                       Schedule(QString(), "s.xml", 1, store.get(), true),
                       Schedule(kName, "s.xml", 1, nullptr, true)}) {
        s.initiateSchedule();
        EXPECT_EQ(s.lastOccurrence(), QDateTime());
        EXPECT_EQ(s.nextOccurrence(), at("2026-12-07 08:00"));
    }
    EXPECT_EQ(stored("NextOccurance"), QString());
    EXPECT_EQ(store->size(), 1);
}

TEST_F(ScheduleLife, ManualTriggerMakesTheScheduleDueNowWithItsData)
{
    Schedule s =
        started({"week All 08:00/3600 data=daily", "manual Nightly data=hand", "manual nightly"});
    EXPECT_EQ(s.manualTriggerNames(), QStringList({"Nightly", "nightly"}));
    EXPECT_FALSE(s.triggerManual("Weekly", "t"));
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-07 08:00"));
    EXPECT_EQ(s.firingCause(), "trigger");
    Orvel::Clock::setNow(at("2026-12-07 07:30"));
    ASSERT_TRUE(s.triggerManual("NIGHTLY", "tag"));
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-07 07:30"));
    EXPECT_EQ(s.triggerIndex(), 2); // the last match becomes current
    EXPECT_EQ(s.firingCause(), "manual");
    EXPECT_EQ(valueAt(s.eventData(), "TriggerData/ManualTrigger"), "nightly");
    EXPECT_EQ(valueAt(s.eventData(), "TriggerData/UserTag"), "tag");
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-07 08:00"));
    EXPECT_EQ(s.triggerIndex(), 0);
    EXPECT_EQ(valueAt(s.eventData(), "TriggerData/Slot"), "daily");
    EXPECT_TRUE(trace.texts(0).isEmpty()); // a manual trigger offers no time, and that is no fault
}

// The fallback's data joins the trigger's; a schedule's own data stays.
TEST_F(ScheduleLife, EventDataAndCauseOfAFallback)
{
    write("s.xml", Rules::scheduleFile({"week All 08:00/1 data=t", "Exclude week All 07:00/7200",
                                        "Fallback week All 12:00/3600 data=f"},
                                       "<ScheduleData><Own>o</Own></ScheduleData>"));
    const Schedule s = restarted();
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-07 12:00"));
    EXPECT_EQ(s.firingCause(), "fallback");
    EXPECT_EQ(s.fallbackIndex(), 0);
    EXPECT_EQ(valueAt(s.eventData(), "TriggerData/Slot"), "t");
    EXPECT_EQ(valueAt(s.eventData(), "TriggerData/FallbackData/Slot"), "f");
    EXPECT_EQ(valueAt(s.eventData(), "Own"), "o");
    EXPECT_EQ(restartedAs("every 2 Hours").firingCause(), "objective");
}

TEST_F(ScheduleLife, ASingleCalendarDateFiresOnceThenRunsOutUntilTheRulesAddADate)
{
    write("dates.cfg", Rules::calendarFile({"20261207"}));
    Orvel::Clock::setNow(at("2026-12-07 10:00"));
    Schedule s = started({"dates dates.cfg"});
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-07 10:00"));
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), QDateTime());
    EXPECT_TRUE(
        trace.contains(2, "schedule",
                       "No further occurance for P-1-Backup-1 after 10:00:00 Mon December 7 "
                       "2026 - the schedule has run out"));
    Orvel::Clock::setNow(at("2026-12-07 18:00"));
    reopenStore();
    EXPECT_EQ(restarted().nextOccurrence(), QDateTime());
    EXPECT_EQ(stored("NextOccurance"), QString());
    EXPECT_EQ(stored("LastOccurance"), "20261207100000");
    write("dates.cfg", Rules::calendarFile({"20261207", "20261210"}));
    EXPECT_EQ(restarted().nextOccurrence(), at("2026-12-10 00:00"));
}

TEST_F(ScheduleLife, APeriodBeyondTheDateRangeFiresOnceThenRunsOut)
{
    Schedule s = restartedAs("every 4294967295 Years");
    EXPECT_EQ(s.nextOccurrence(), at("2026-12-07 07:00"));
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), QDateTime());
    EXPECT_TRUE(trace.contains(
        2, "repeatperiod", "Period out of range: 4294967295 Years from 07:00:00 Mon December 7"));
    Orvel::Clock::setNow(at("2026-12-07 09:00"));
    s.markOccurred(QDateTime()); // now
    EXPECT_EQ(s.lastOccurrence(), at("2026-12-07 09:00"));
    EXPECT_EQ(s.nextOccurrence(), QDateTime());
}
