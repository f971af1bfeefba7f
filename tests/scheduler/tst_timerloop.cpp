#include "clock.h"
#include "context.h"
#include "memorytransport.h"
#include "msgnames.h"
#include "schedulelist.h"
#include "testsupport.h"
#include "timer.h"

#include <gtest/gtest.h>

using Orvel::Clock;
using Orvel::MemoryTransport;

namespace {

const QString kTimer = QStringLiteral("SchedulerTimer");
// The event data of a schedule made by scheduleAt().
const QString kEventData = QStringLiteral(
    "<list><Policy type=\"text\">Gold</Policy><TriggerData type=\"list\"><ManualTrigger "
    "type=\"text\">now</ManualTrigger><UserTag type=\"text\"></UserTag></TriggerData></list>");

QDateTime at(const char *text)
{
    return QDateTime::fromString(QString::fromLatin1(text),
                                 QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

// A schedule due at `next`: a manual trigger fired at that instant. Without a
// `next` it has no trigger at all and never fires. After its firing a manual
// trigger offers no further time, so a fired schedule goes to the end.
Schedule scheduleAt(const char *name, const QDateTime &next)
{
    Schedule schedule(QString::fromLatin1(name), 1, nullptr, false);
    if (next.isValid()) {
        schedule.addElement(
            Orvel::XmlList::fromText("<e><Type>Trigger</Type><ManualTrigger><ActivationName>now"
                                     "</ActivationName></ManualTrigger></e>",
                                     QStringLiteral("test")),
            1);
        const QDateTime now = Clock::now();
        Clock::setNow(next);
        schedule.triggerManual(QStringLiteral("now"), QString());
        Clock::setNow(now);
    }
    Orvel::XmlList data;
    data.set(QStringLiteral("Policy"), QStringLiteral("Gold"), Orvel::XmlList::Replace);
    schedule.setScheduleData(data);
    return schedule;
}

QStringList linesStartingWith(const QStringList &texts, const QString &start)
{
    QStringList found;
    for (const QString &text : texts) {
        if (text.startsWith(start))
            found << text;
    }
    return found;
}

// A schedule list over the in-memory transport, with the clock frozen and an
// empty home (default "MaxWaitSeconds").
class TimerLoopTest : public ::testing::Test
{
protected:
    void TearDown() override { Clock::useSystem(); }

    void writeMaxWait(quint32 seconds)
    {
        home.write(
            QStringLiteral("local/scheduler.cfg"),
            QStringLiteral("<config><MaxWaitSeconds type=\"uint\">%1</MaxWaitSeconds></config>")
                .arg(seconds)
                .toUtf8());
    }

    TempHome home;
    MemoryTransport bus;
    TraceCapture trace;
};

} // namespace

struct ArmCase
{
    const char *what;
    quint32 maxWait; // 0: none in the store
    const char *now;
    const char *next;
    qint64 armedMs;
    const char *secsTrace;
};

class ArmingTest : public TimerLoopTest, public ::testing::WithParamInterface<ArmCase>
{
};

TEST_P(ArmingTest, ArmsForTheEarliestScheduleWithinTheLongestWait)
{
    const ArmCase c = GetParam();
    if (c.maxWait != 0)
        writeMaxWait(c.maxWait);
    Clock::setNow(at(c.now));
    ScheduleList list;
    list.setSchedules({scheduleAt("Gold-1-Backup-1", at(c.next))});

    list.processScheduleList();

    EXPECT_EQ(bus.armedMs(kTimer), c.armedMs);
    EXPECT_TRUE(trace.contains(QString::fromLatin1(c.secsTrace)))
        << trace.texts().join('\n').toStdString();
    EXPECT_TRUE(linesStartingWith(trace.texts(), QStringLiteral("Schedule triggered")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    TimerLoop, ArmingTest,
    ::testing::Values(
        ArmCase{"ten seconds away", 0, "2026-03-10 12:00:00.000", "2026-03-10 12:00:10.000", 10000,
                "(in 10 seconds) Set timer for 10"},
        ArmCase{"three hours away, capped at MaxWaitSeconds", 0, "2026-03-10 12:00:00.000",
                "2026-03-10 15:00:00.000", 900000, "(in 10800 seconds) Set timer for 900"},
        ArmCase{"tomorrow just after midnight is one day: not capped by days", 0,
                "2026-03-10 23:55:00.000", "2026-03-11 00:05:00.000", 600000,
                "(in 600 seconds) Set timer for 600"},
        ArmCase{"two dates ahead is beyond maxWaitDays 1: secs become MaxWaitSeconds", 0,
                "2026-03-10 23:55:00.000", "2026-03-12 00:05:00.000", 900000,
                "(in 900 seconds) Set timer for 900"},
        ArmCase{"a day's wait allowed, three dates ahead", 86400, "2026-03-10 23:00:00.000",
                "2026-03-13 01:00:00.000", 86400000, "(in 86400 seconds) Set timer for 86400"},
        // Millisecond arming: 10.4 s from a now at .6 s is 10400 ms, not 11 s.
        ArmCase{"due 10.4 s away from a now at .6 s", 0, "2026-03-10 12:00:00.600",
                "2026-03-10 12:00:11.000", 10400, "(in 11 seconds) Set timer for 11"},
        ArmCase{"an early wake-up re-arms for the milliseconds left", 0, "2026-03-10 12:00:10.997",
                "2026-03-10 12:00:11.000", 3, "(in 1 seconds) Set timer for 1"},
        ArmCase{"the largest MaxWaitSeconds fits the timer", 4294967, "2026-03-10 12:00:00.000",
                "2026-06-10 12:00:00.000", 4294967000,
                "(in 4294967 seconds) Set timer for 4294967"}),
    [](const ::testing::TestParamInfo<ArmCase> &info) { return std::to_string(info.index); });

TEST_F(TimerLoopTest, TracesTheNextScheduleWithItsDataAndTime)
{
    Clock::setNow(at("2026-03-10 12:00:00.000"));
    ScheduleList list;
    list.setSchedules({scheduleAt("Gold-1-Backup-1", at("2026-03-10 12:00:10.000"))});
    list.processScheduleList();
    const QStringList texts = trace.texts();
    EXPECT_EQ(texts.mid(texts.indexOf(QStringLiteral("processScheduleList()"))),
              QStringList({"processScheduleList()",
                           "Next schedule: Gold-1-Backup-1 data " + kEventData +
                               "  occurs at  12:00:10 Tue March 10 2026",
                           "(in 10 seconds) Set timer for 10"}));
}

TEST_F(TimerLoopTest, ExceedingMaxWaitDaysIsTracedWithTheDays)
{
    Clock::setNow(at("2026-03-10 23:55:00.000"));
    ScheduleList list;
    list.setSchedules({scheduleAt("A", at("2026-03-12 00:05:00.000"))});
    list.processScheduleList();
    EXPECT_TRUE(trace.contains(QStringLiteral("Schedule max days wait exceeded: 2")));
}

TEST_F(TimerLoopTest, EmptyListTracesNoSchedulesAndArmsNothing)
{
    ScheduleList list;
    bus.setIdleHook([&]() {
        bus.deliver(kTimer);
        bus.shutDown();
    });
    list.run();
    EXPECT_TRUE(trace.contains(QStringLiteral("There are 0 schedules")));
    EXPECT_TRUE(trace.contains(QStringLiteral("processScheduleList()")));
    EXPECT_FALSE(bus.isArmed(kTimer));
}

struct DueCase
{
    const char *what;
    const char *now;
    const char *next;
};

class DueTest : public TimerLoopTest, public ::testing::WithParamInterface<DueCase>
{
};

TEST_P(DueTest, FiresAndMarksOccurred)
{
    const DueCase c = GetParam();
    Clock::setNow(at(c.now));
    ScheduleList list;
    list.setSchedules({scheduleAt("A", at(c.next))});

    list.processScheduleList();

    const QStringList fired =
        linesStartingWith(trace.texts(), QStringLiteral("Schedule triggered:  "));
    ASSERT_EQ(fired.size(), 1);
    EXPECT_EQ(fired.first(), QStringLiteral("Schedule triggered:  A  at  %1  occured  %2")
                                 .arg(at(c.next).toString("hh:mm:ss ddd MMMM d yyyy"),
                                      at(c.now).toString("hh:mm:ss ddd MMMM d yyyy")));
    EXPECT_TRUE(trace.contains(QStringLiteral("Schedule triggered: Data ") + kEventData));
    EXPECT_EQ(list.scheduleList().first().lastOccurrence(), at(c.next));
}

INSTANTIATE_TEST_SUITE_P(
    TimerLoop, DueTest,
    ::testing::Values(
        DueCase{"exactly now", "2026-03-10 12:00:00.000", "2026-03-10 12:00:00.000"},
        DueCase{"within the current second", "2026-03-10 12:00:00.900", "2026-03-10 12:00:00.000"},
        DueCase{"passed on an earlier date", "2026-03-11 00:00:30.000", "2026-03-10 23:59:50.000"}),
    [](const ::testing::TestParamInfo<DueCase> &info) { return std::to_string(info.index); });

TEST_F(TimerLoopTest, DueSchedulesFireInOrderAndTheListIsResortedBetween)
{
    Clock::setNow(at("2026-03-10 12:00:00.000"));
    ScheduleList list;
    list.setSchedules({scheduleAt("C", at("2026-03-10 12:00:10.000")),
                       scheduleAt("B", at("2026-03-10 11:59:59.000")),
                       scheduleAt("A", at("2026-03-10 11:59:58.000"))});

    list.processScheduleList();

    const QStringList fired =
        linesStartingWith(trace.texts(), QStringLiteral("Schedule triggered:  "));
    ASSERT_EQ(fired.size(), 2);
    EXPECT_TRUE(fired.at(0).startsWith(QStringLiteral("Schedule triggered:  A ")));
    EXPECT_TRUE(fired.at(1).startsWith(QStringLiteral("Schedule triggered:  B ")));
    EXPECT_EQ(bus.armedMs(kTimer), 10000);
    QStringList order;
    for (const Schedule &schedule : list.scheduleList())
        order << schedule.name();
    // Fired, the manual-only schedules have no further time and go last.
    ASSERT_EQ(order.size(), 3);
    EXPECT_EQ(order.first(), QStringLiteral("C"));
}

TEST_F(TimerLoopTest, InvalidFirstScheduleArmsTheLongestWaitAndFiresNothing)
{
    Clock::setNow(at("2026-03-10 12:00:00.000"));
    ScheduleList list;
    list.setSchedules({scheduleAt("Y", QDateTime()), scheduleAt("X", QDateTime())});

    list.processScheduleList();

    EXPECT_EQ(bus.armedMs(kTimer), 900000);
    EXPECT_TRUE(
        trace.contains(QStringLiteral("Next schedule: X  has invalid/unknown expiry time")) ||
        trace.contains(QStringLiteral("Next schedule: Y  has invalid/unknown expiry time")));
    EXPECT_TRUE(trace.lines().filter(QStringLiteral("invalid/unknown")).first().contains(" 0 "));
    EXPECT_TRUE(linesStartingWith(trace.texts(), QStringLiteral("Schedule triggered")).isEmpty());
}

TEST_F(TimerLoopTest, AnEarlyWakeUpFiresOnTheSecondTry)
{
    Clock::setNow(at("2026-03-10 12:00:00.600"));
    ScheduleList list;
    list.setSchedules({scheduleAt("A", at("2026-03-10 12:00:11.000"))});
    bus.setIdleHook([&]() {
        Clock::advance(10397); // the timer comes back 3 ms early
        bus.fire(kTimer);
        EXPECT_EQ(bus.armedMs(kTimer), 3);
        EXPECT_EQ(list.scheduleList().first().lastOccurrence(), QDateTime());
        bus.advance(3);
        bus.shutDown();
    });
    list.processScheduleList();
    list.run();
    EXPECT_EQ(list.scheduleList().first().lastOccurrence(), at("2026-03-10 12:00:11.000"));
}

TEST_F(TimerLoopTest, AdvancingTheClockDeliversEachExpiryWhenDue)
{
    Clock::setNow(at("2026-03-10 12:00:00.000"));
    ScheduleList list;
    list.setSchedules({scheduleAt("Late", at("2026-03-10 12:00:02.000")),
                       scheduleAt("Early", at("2026-03-10 12:00:01.000"))});
    bus.setIdleHook([&]() {
        bus.fire(kTimer);
        EXPECT_EQ(bus.advance(5000), 2);
        bus.shutDown();
    });
    Orvel::Timer::set(kTimer, 1, QString());
    list.run();
    const QStringList fired =
        linesStartingWith(trace.texts(), QStringLiteral("Schedule triggered:  "));
    ASSERT_EQ(fired.size(), 2);
    EXPECT_TRUE(
        fired.at(0).contains(QStringLiteral("Early  at  12:00:01 Tue March 10 2026  occured  "
                                            "12:00:01")));
    EXPECT_TRUE(
        fired.at(1).contains(QStringLiteral("Late  at  12:00:02 Tue March 10 2026  occured  "
                                            "12:00:02")));
}

TEST_F(TimerLoopTest, RunEnrolsRegistersAsksForRuleSetsAndLogsStartAndStop)
{
    LogCapture log;
    ScheduleList list;
    QStringList seenDuringRun;
    bus.setIdleHook([&]() {
        seenDuringRun << bus.ownedName();
        for (const char *name : {"NodeMgrNotifyRulesIdPost", "SchedulerManualTriggerRequest",
                                 "SchedulerListManualTriggersRequest"}) {
            bus.deliver(QString::fromLatin1(name));
        }
        bus.shutDown();
    });
    const QString scheduler = QStringLiteral("Scheduler");
    Orvel::Context::run([&]() { list.run(); }, 3, 64, scheduler, scheduler, scheduler);
    EXPECT_EQ(seenDuringRun, QStringList({"org.orvel.Scheduler.Scheduler"}));
    ASSERT_EQ(bus.posted().size(), 1);
    EXPECT_EQ(bus.posted().first().name, QStringLiteral("NodeMgrRegisterNotifyRulesIdPost"));
    EXPECT_EQ(bus.posted().first().to, Orvel::MsgAddress("NodeManager", "NodeManager"));
    EXPECT_TRUE(bus.posted().first().body.isEmpty());
    EXPECT_FALSE(trace.texts().join('\n').contains(QStringLiteral("No handler")));
    EXPECT_EQ(log.lines(),
              QStringList({"State Scheduler/Scheduler 2", "State Scheduler/Scheduler 3"}));
    EXPECT_TRUE(bus.ownedName().isEmpty());
}

struct MaxWaitCase
{
    const char *store; // the MaxWaitSeconds entry, or nothing
    quint32 seconds;
    quint32 days;
    bool clampTraced;
};

class MaxWaitTest : public TimerLoopTest, public ::testing::WithParamInterface<MaxWaitCase>
{
};

TEST_P(MaxWaitTest, ReadsAndClampsMaxWaitSeconds)
{
    const MaxWaitCase c = GetParam();
    home.write(QStringLiteral("local/scheduler.cfg"),
               QByteArray("<config>") + c.store + QByteArray("</config>"));
    ScheduleList list;
    EXPECT_EQ(list.maxWaitSeconds, c.seconds);
    EXPECT_EQ(list.maxWaitDays, c.days);
    const QStringList clamps = trace.lines().filter(QStringLiteral("is out of range"));
    EXPECT_EQ(clamps.size(), c.clampTraced ? 1 : 0);
    if (c.clampTraced) {
        EXPECT_TRUE(clamps.first().contains(QStringLiteral(" 0 schedulelist:")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    TimerLoop, MaxWaitTest,
    ::testing::Values(
        MaxWaitCase{"", 900, 1, false},
        MaxWaitCase{"<MaxWaitSeconds>notanumber</MaxWaitSeconds>", 900, 1, false},
        MaxWaitCase{"<MaxWaitSeconds type=\"uint\">1</MaxWaitSeconds>", 1, 1, false},
        MaxWaitCase{"<MaxWaitSeconds type=\"uint\">86400</MaxWaitSeconds>", 86400, 1, false},
        MaxWaitCase{"<MaxWaitSeconds type=\"uint\">86401</MaxWaitSeconds>", 86401, 2, false},
        MaxWaitCase{"<MaxWaitSeconds type=\"uint\">0</MaxWaitSeconds>", 1, 1, true},
        MaxWaitCase{"<MaxWaitSeconds type=\"uint\">4294968</MaxWaitSeconds>", 4294967, 50, true}),
    [](const ::testing::TestParamInfo<MaxWaitCase> &info) { return std::to_string(info.index); });

TEST(ScheduleOrderTest, ValidBeforeInvalidEarlierFirstTiesByName)
{
    const QDateTime noon = at("2026-03-10 12:00:00.000");
    EXPECT_TRUE(scheduleAt("Z", noon) < scheduleAt("A", QDateTime()));
    EXPECT_FALSE(scheduleAt("A", QDateTime()) < scheduleAt("Z", noon));
    EXPECT_TRUE(scheduleAt("Z", noon) < scheduleAt("A", noon.addMSecs(1)));
    EXPECT_TRUE(scheduleAt("A", noon) < scheduleAt("B", noon));
    EXPECT_FALSE(scheduleAt("B", noon) < scheduleAt("A", noon));
    // Schedules without a time keep no order among themselves.
    EXPECT_FALSE(scheduleAt("A", QDateTime()) < scheduleAt("B", QDateTime()));
    EXPECT_FALSE(scheduleAt("B", QDateTime()) < scheduleAt("A", QDateTime()));
    EXPECT_FALSE(scheduleAt("A", noon) < scheduleAt("A", noon));
}
