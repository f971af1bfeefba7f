// The worked examples of docs/schedules.md, run on the files the page links,
// and what the search records of them (tst_schedctl runs the page's
// `schedctl explain` lines).
#include "repeatperiod.h"
#include "scheduletestsupport.h"

#include <QFile>

namespace {

QByteArray example(const char *name)
{
    QFile file(QStringLiteral(ORVEL_SOURCE_DIR "/examples/home/rules/2/") +
               QString::fromUtf8(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

using DocumentedExamples = ScheduleTest;

TEST_F(DocumentedExamples, MaintenanceFridayFallsBackToSaturdayMorning)
{
    home.write(QStringLiteral("rules/1/nightly.xml"), example("nightly-with-fallback.xml"));
    setNow(at(2026, 12, 24, 21, 0));
    Schedule s = schedule(QStringLiteral("nightly.xml"));
    s.initiateSchedule();
    ASSERT_EQ(s.nextOccurrence(), at(2026, 12, 24, 22, 0));
    setNow(at(2026, 12, 24, 22, 0));
    SearchRecord record;
    s.setSearchRecord(&record);
    s.markOccurred(s.nextOccurrence());
    s.setSearchRecord(nullptr);
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 26, 6, 0));
    // The search from the firing finds the firing itself, a window start, and
    // searches again just after it: Friday is excluded, Saturday 00:00:01 is
    // outside the trigger's window, and the fallback gives Saturday 06:00.
    using Step = SearchRecord::Step;
    const QDateTime fired = at(2026, 12, 24, 22, 0);
    const QDateTime friday = at(2026, 12, 25, 22, 0);
    const QDateTime saturday = at(2026, 12, 26, 6, 0);
    const QDateTime pushed = at(2026, 12, 26, 0, 0, 1);
    const SearchRecord::Entry expected[] = {
        {Step::SearchAfter, -1, -1, fired, {}},
        {Step::TriggerTime, 0, -1, fired, {}},
        {Step::Offer, 0, -1, fired, {}},
        {Step::Answer, 0, -1, fired, {}},
        {Step::SearchAfter, -1, -1, fired.addMSecs(1), {}},
        {Step::TriggerTime, 0, -1, friday, {}},
        {Step::Excluded, 0, -1, friday, pushed},
        {Step::OutsideWindow, -1, -1, pushed, {}},
        {Step::FallbackTime, 0, -1, saturday, {}},
        {Step::FallbackInside, 0, -1, saturday, {}},
        {Step::FallbackChosen, 0, -1, saturday, {}},
        {Step::Offer, 0, 0, saturday, {}},
        {Step::Answer, 0, 0, saturday, {}},
    };
    ASSERT_EQ(record.entries().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const SearchRecord::Entry &e = record.entries().at(qsizetype(i));
        EXPECT_TRUE(e.step == expected[i].step && e.element == expected[i].element &&
                    e.fallback == expected[i].fallback && e.at == expected[i].at &&
                    e.to == expected[i].to)
            << "entry " << i;
    }
    EXPECT_EQ(record.excludedBy(), QList<int>{0});
    EXPECT_EQ(s.firingCause(), "fallback");
    EXPECT_EQ(s.eventData().toBinary(),
              QByteArray("<list><TriggerData type=\"list\"><Level>incremental</Level>"
                         "<FallbackData type=\"list\"><Reason>maintenance Friday</Reason>"
                         "</FallbackData></TriggerData></list>"));
    setNow(at(2026, 12, 26, 6, 0));
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 28, 22, 0));
}

TEST_F(DocumentedExamples, HourlyObjectiveSkipsQuietNights)
{
    home.write(QStringLiteral("rules/1/quiet.xml"), example("quiet-nights.xml"));
    setNow(at(2026, 12, 8, 0, 30));
    Schedule s = schedule(QStringLiteral("quiet.xml"));
    ASSERT_TRUE(s.addRepeatPeriod(RepeatPeriod::Hours, 1, 1));
    s.initiateSchedule();
    ASSERT_EQ(s.nextOccurrence(), at(2026, 12, 8, 0, 30));
    EXPECT_EQ(s.firingCause(), "objective");
    SearchRecord record;
    s.setSearchRecord(&record);
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 8, 5, 0, 1));
    EXPECT_EQ(record.excludedBy(), QList<int>{0}); // 01:30 is excluded, 05:00:01 not
    record.retrace(s);
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 8, 5, 0, 1));
    EXPECT_EQ(record.excludedBy(), QList<int>{0});
    setNow(s.nextOccurrence());
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 8, 6, 0, 1));
}
