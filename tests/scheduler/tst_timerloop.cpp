// One pass of the timer loop over hand-made schedules: what fires, and what
// the single timer is armed for.
#include "context.h"
#include "memorytransport.h"
#include "repeatperiod.h"
#include "rulesupport.h"
#include "schedulelist.h"
#include "scheduletestsupport.h"

using Orvel::Clock;

namespace {

const QString kTimer = QStringLiteral("SchedulerTimer");
// The event data of a schedule made by scheduleAt().
const QString kEventData = QStringLiteral(
    "<list><Policy type=\"text\">Gold</Policy><TriggerData type=\"list\"><ManualTrigger "
    "type=\"text\">now</ManualTrigger><UserTag type=\"text\"></UserTag></TriggerData></list>");

QString printed(const QDateTime &instant)
{
    return instant.toString(QStringLiteral("hh:mm:ss ddd MMMM d yyyy"));
}

// A schedule due at `next`: a manual trigger fired at that instant. Without a
// `next` it has no trigger at all and never fires. After its firing a manual
// trigger offers no further time, so a fired schedule goes to the end.
Schedule scheduleAt(const char *name, const QDateTime &next)
{
    Schedule schedule(QString::fromLatin1(name), 1, nullptr, false);
    if (next.isValid()) {
        schedule.addElement(body("<Type>Trigger</Type><ManualTrigger><ActivationName>now"
                                 "</ActivationName></ManualTrigger>"),
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

// A schedule list over the in-memory transport with the clock frozen.
class TimerLoopTest : public ScheduleTest
{
protected:
    void writeMaxWait(const QByteArray &entry) const
    {
        home.write(QStringLiteral("local/scheduler.cfg"), "<config>" + entry + "</config>");
    }

    Orvel::MemoryTransport bus;
};

} // namespace

TEST_F(TimerLoopTest, ArmsForTheEarliestScheduleWithinTheLongestWait)
{
    const struct
    {
        quint32 maxWait; // 0: none in the store, 900
        const char *now;
        const char *next;
        qint64 armedMs;
        int secs;         // the whole seconds traced ...
        int delay;        // ... and the delay in seconds traced
        int daysExceeded; // the days traced when beyond the longest wait, or 0
    } cases[] = {
        {0, "2026-03-10 12:00:00", "2026-03-10 12:00:10", 10000, 10, 10, 0},
        {0, "2026-03-10 12:00:00", "2026-03-10 15:00:00", 900000, 10800, 900, 0},
        // Tomorrow just after midnight is one day: not capped by days.
        {0, "2026-03-10 23:55:00", "2026-03-11 00:05:00", 600000, 600, 600, 0},
        // Two dates ahead is beyond the one day of 900 s: the wait is 900 s.
        {0, "2026-03-10 23:55:00", "2026-03-12 00:05:00", 900000, 900, 900, 2},
        {86400, "2026-03-10 23:00:00", "2026-03-13 01:00:00", 86400000, 86400, 86400, 3},
        // Armed to the millisecond: 10.4 s from a now at .6 s, not 11 s.
        {0, "2026-03-10 12:00:00.600", "2026-03-10 12:00:11", 10400, 11, 11, 0},
        // The largest MaxWaitSeconds fits the timer.
        {4294967, "2026-03-10 12:00:00", "2026-06-10 12:00:00", 4294967000, 4294967, 4294967, 92},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.next);
        writeMaxWait(c.maxWait ? QByteArray("<MaxWaitSeconds type=\"uint\">") +
                                     QByteArray::number(c.maxWait) + "</MaxWaitSeconds>"
                               : QByteArray());
        Clock::setNow(local(c.now));
        ScheduleList list;
        list.setSchedules({scheduleAt("Gold-1-Backup-1", local(c.next))});
        TraceCapture pass;
        list.processScheduleList();
        EXPECT_EQ(bus.armedMs(kTimer), c.armedMs);
        EXPECT_TRUE(pass.contains("Next schedule: Gold-1-Backup-1 data " + kEventData +
                                  "  occurs at  " + printed(local(c.next))));
        EXPECT_TRUE(pass.contains(
            QStringLiteral("(in %1 seconds) Set timer for %2").arg(c.secs).arg(c.delay)));
        EXPECT_EQ(pass.texts().filter("Schedule max days wait exceeded").join(""),
                  c.daysExceeded
                      ? QStringLiteral("Schedule max days wait exceeded: %1").arg(c.daysExceeded)
                      : QString());
        EXPECT_TRUE(firings(pass).isEmpty());
    }
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

TEST_F(TimerLoopTest, ADueScheduleFiresAndIsMarkedOccurred)
{
    // Exactly now, within the current second, and passed on an earlier date.
    const std::pair<const char *, const char *> cases[] = {
        {"2026-03-10 12:00:00", "2026-03-10 12:00:00"},
        {"2026-03-10 12:00:00.900", "2026-03-10 12:00:00"},
        {"2026-03-11 00:00:30", "2026-03-10 23:59:50"}};
    for (const auto &[now, next] : cases) {
        Clock::setNow(local(now));
        ScheduleList list;
        list.setSchedules({scheduleAt("A", local(next))});
        TraceCapture pass;
        list.processScheduleList();
        EXPECT_EQ(pass.texts().filter("Schedule triggered:  "),
                  QStringList({QStringLiteral("Schedule triggered:  A  at  %1  occured  %2")
                                   .arg(printed(local(next)), printed(local(now)))}));
        EXPECT_TRUE(pass.contains(QStringLiteral("Schedule triggered: Data ") + kEventData));
        EXPECT_EQ(list.scheduleList().first().lastOccurrence(), local(next));
    }
}

TEST_F(TimerLoopTest, DueSchedulesFireInOrderAndTheListIsResortedBetween)
{
    Clock::setNow(local("2026-03-10 12:00:00"));
    ScheduleList list;
    list.setSchedules({scheduleAt("C", local("2026-03-10 12:00:10")),
                       scheduleAt("B", local("2026-03-10 11:59:59")),
                       scheduleAt("A", local("2026-03-10 11:59:58"))});
    list.processScheduleList();
    EXPECT_EQ(firings(trace), QStringList({"A 12:00:00", "B 12:00:00"}));
    EXPECT_EQ(bus.armedMs(kTimer), 10000);
    // Fired, the manual-only schedules have no further time and go last.
    ASSERT_EQ(list.scheduleList().size(), 3);
    EXPECT_EQ(list.scheduleList().first().name(), QStringLiteral("C"));
}

// A burst of objectives due at once fires in name order, and each fired one
// goes back into the ordered list by a binary search, not by a sort of the
// whole list: about log2(n) comparisons a firing.
TEST_F(TimerLoopTest, ABurstFiresInNameOrderAndPutsEachFiredScheduleBackByBinarySearch)
{
    constexpr int kDue = 128;
    QList<Schedule> due;
    QStringList inOrder;
    for (int i = 0; i < kDue; ++i) {
        due << Schedule(QStringLiteral("S%1").arg(i * 37 % kDue, 3, 10, QLatin1Char('0')), 1,
                        nullptr, false);
        due.last().addRepeatPeriod(RepeatPeriod::Hours, 1, 1);
        due.last().initiateSchedule();
        inOrder << QStringLiteral("S%1 07:00:00").arg(i, 3, 10, QLatin1Char('0'));
    }
    ScheduleList list;
    list.setSchedules(due);
    TraceCapture pass;
    list.processScheduleList();
    EXPECT_EQ(firings(pass), inOrder);
    EXPECT_LE(pass.texts().filter(QStringLiteral("Compare:")).size(), kDue * 9);
    EXPECT_EQ(list.scheduleList().last().name(), QStringLiteral("S127"));
}

TEST_F(TimerLoopTest, InvalidFirstScheduleArmsTheLongestWaitAndFiresNothing)
{
    ScheduleList list;
    list.setSchedules({scheduleAt("Y", QDateTime()), scheduleAt("X", QDateTime())});
    list.processScheduleList();
    EXPECT_EQ(bus.armedMs(kTimer), 900000);
    const QStringList invalid = trace.lines().filter(QStringLiteral("invalid/unknown"));
    ASSERT_EQ(invalid.size(), 1);
    EXPECT_TRUE(invalid.first().contains(" 0 schedulelist:"));
    EXPECT_TRUE(invalid.first().endsWith(" has invalid/unknown expiry time"));
    EXPECT_TRUE(firings(trace).isEmpty());
}

TEST_F(TimerLoopTest, AnEarlyWakeUpReArmsForTheMillisecondsLeftAndFiresOnTheSecondTry)
{
    Clock::setNow(local("2026-03-10 12:00:00.600"));
    ScheduleList list;
    list.setSchedules({scheduleAt("A", local("2026-03-10 12:00:11"))});
    bus.setIdleHook([&]() {
        Clock::advance(10397); // the timer comes back 3 ms early
        {
            TraceCapture early;
            bus.fire(kTimer);
            EXPECT_TRUE(early.contains(QStringLiteral("(in 1 seconds) Set timer for 1")));
        }
        EXPECT_EQ(bus.armedMs(kTimer), 3);
        EXPECT_EQ(list.scheduleList().first().lastOccurrence(), QDateTime());
        bus.advance(3);
        bus.shutDown();
    });
    list.processScheduleList();
    list.run();
    EXPECT_EQ(firings(trace), QStringList({"A 12:00:11"}));
    EXPECT_EQ(list.scheduleList().first().lastOccurrence(), local("2026-03-10 12:00:11"));
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

TEST_F(TimerLoopTest, ReadsAndClampsMaxWaitSeconds)
{
    const struct
    {
        const char *stored; // the MaxWaitSeconds entry, or nothing
        quint32 seconds;
        quint32 days;
        bool clampTraced;
    } cases[] = {
        {"", 900, 1, false},
        {"<MaxWaitSeconds type=\"uint\">1</MaxWaitSeconds>", 1, 1, false},
        {"<MaxWaitSeconds type=\"uint\">86400</MaxWaitSeconds>", 86400, 1, false},
        {"<MaxWaitSeconds type=\"uint\">86401</MaxWaitSeconds>", 86401, 2, false},
        {"<MaxWaitSeconds type=\"uint\">0</MaxWaitSeconds>", 1, 1, true},
        {"<MaxWaitSeconds type=\"uint\">4294968</MaxWaitSeconds>", 4294967, 50, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        writeMaxWait(c.stored);
        TraceCapture reading;
        const ScheduleList list;
        EXPECT_EQ(list.maxWaitSeconds(), c.seconds);
        EXPECT_EQ(list.maxWaitDays(), c.days);
        const QStringList clamps = reading.lines().filter(QStringLiteral("is out of range"));
        EXPECT_EQ(clamps.size(), c.clampTraced ? 1 : 0);
        EXPECT_TRUE(clamps.isEmpty() || clamps.first().contains(" 0 schedulelist:"));
    }
}

TEST(ScheduleOrderTest, ValidBeforeInvalidEarlierFirstTiesByName)
{
    const QDateTime noon = local("2026-03-10 12:00:00");
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
