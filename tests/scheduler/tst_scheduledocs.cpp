// The worked examples of docs/schedules.md, run on the files the page links.
#include "repeatperiod.h"
#include "scheduletestsupport.h"

#include <QFile>

namespace {

QByteArray example(const char *name)
{
    QFile file(QStringLiteral(ORVEL_SOURCE_DIR "/docs/examples/") + QString::fromUtf8(name));
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
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 26, 6, 0));
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
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 8, 5, 0, 1));
    setNow(s.nextOccurrence());
    s.markOccurred(s.nextOccurrence());
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 8, 6, 0, 1));
}
