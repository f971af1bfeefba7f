// The running timer loop over real schedules: the in-memory transport
// delivers each timer expiry when the frozen clock reaches it, and its
// jumpClock() stands for the system's notice that the wall clock was set or
// the machine resumed.
#include "memorytransport.h"
#include "schedulelist.h"
#include "scheduletestsupport.h"
#include "timer.h"

#include <functional>

using namespace Elements;
using Orvel::Clock;

namespace {

const QString kTimer = QStringLiteral("SchedulerTimer");
constexpr qint64 kMinuteMs = 60 * 1000;
constexpr qint64 kHourMs = 60 * kMinuteMs;

class ScheduleLoop : public ScheduleTest
{
protected:
    Schedule started(const QString &file, const QString &name)
    {
        Schedule s = schedule(file, name);
        s.initiateSchedule();
        return s;
    }
    // Daily schedules A 08:00, B 08:10, C 08:20 and D 12:00, each with a
    // one-minute window, so that each is due once a day.
    QList<Schedule> fourDaily()
    {
        QList<Schedule> list;
        for (const auto &[name, time] : {std::pair{"A", "08:00"}, std::pair{"B", "08:10"},
                                         std::pair{"C", "08:20"}, std::pair{"D", "12:00"}}) {
            writeScheduleFile(QString::fromLatin1(name) + ".xml", {daily("Trigger", time, 60)});
            list << started(QString::fromLatin1(name) + ".xml", QString::fromLatin1(name));
        }
        return list;
    }
    // Runs the list as the process does until `whileRunning` has done its part.
    void run(ScheduleList &list, const std::function<void()> &whileRunning)
    {
        bus.setIdleHook([&]() {
            whileRunning();
            bus.shutDown();
        });
        list.run();
    }
    // The same with its first pass at once, while the clock moves on.
    void runFor(ScheduleList &list, qint64 milliseconds)
    {
        Orvel::Timer::set(kTimer, 1, QString());
        run(list, [&]() { bus.advance(milliseconds); });
    }

    Orvel::MemoryTransport bus;
};

} // namespace

TEST_F(ScheduleLoop, ThreeSchedulesFireInOrderOverADayEachAtItsTime)
{
    home.write(QStringLiteral("rules/1/dates.cfg"),
               "<c><Calendar><Date>20261207</Date></Calendar></c>");
    writeScheduleFile(QStringLiteral("daily.xml"), {daily("Trigger", "08:00", 3600)});
    writeScheduleFile(QStringLiteral("calendar.xml"),
                      {calendar("Trigger", "dates.cfg", "12:30", 60)});
    writeScheduleFile(QStringLiteral("evening.xml"),
                      {weekdays("Trigger", {"Monday"}, "18:00", 60),
                       daily("Exclude", "17:00", 7200), daily("Fallback", "20:15", 600)});
    setNow(at(2026, 12, 7, 0, 0));
    ScheduleList list;
    list.setSchedules({started("evening.xml", "evening"), started("calendar.xml", "calendar"),
                       started("daily.xml", "daily")});
    TraceCapture quiet(2);
    runFor(list, 24 * kHourMs);
    EXPECT_EQ(firings(quiet),
              QStringList({"daily 08:00:00", "calendar 12:30:00", "evening 20:15:00"}));
    EXPECT_EQ(list.scheduleList().at(0).name(), QStringLiteral("daily"));
    EXPECT_EQ(list.scheduleList().at(0).nextOccurrence(), at(2026, 12, 8, 8, 0));
}

TEST_F(ScheduleLoop, AScheduleThatRanOutStaysQuietForTheRestOfItsWindowAndAfterARestart)
{
    home.write(QStringLiteral("rules/1/dates.cfg"),
               "<c><Calendar><Date>20261207</Date></Calendar></c>");
    writeScheduleFile(QStringLiteral("once.xml"), {calendar("Trigger", "dates.cfg")});
    setNow(at(2026, 12, 7, 10, 0));
    {
        ScheduleList list;
        list.setSchedules({started("once.xml", "once")});
        TraceCapture quiet(2);
        runFor(list, 13 * kHourMs); // the rest of the whole-day window
        EXPECT_EQ(firings(quiet), QStringList({"once 10:00:00"}));
        EXPECT_EQ(quiet.texts().filter(QStringLiteral("has run out")).size(), 1);
    }
    reopenStore();
    ScheduleList restarted;
    restarted.setSchedules({started("once.xml", "once")});
    TraceCapture quiet(2);
    runFor(restarted, kHourMs);
    EXPECT_TRUE(firings(quiet).isEmpty());
}

TEST_F(ScheduleLoop, AClockSetForwardsPastSeveralDueTimesFiresEachDueScheduleOnce)
{
    ScheduleList list;
    list.setSchedules(fourDaily());
    list.processScheduleList();
    ASSERT_EQ(bus.armedMs(kTimer), 900000);

    run(list, [&]() { bus.jumpClock(90 * kMinuteMs); });

    EXPECT_EQ(firings(trace), QStringList({"A 08:30:00", "B 08:30:00", "C 08:30:00"}));
    EXPECT_EQ(list.scheduleList().first().name(), QStringLiteral("D"));
    EXPECT_EQ(bus.armedMs(kTimer), 900000);
    EXPECT_TRUE(trace.contains(QStringLiteral("Wall clock jumped by 5400000 ms - pending timers "
                                              "expire now")));
}

TEST_F(ScheduleLoop, AClockSetBackwardsByAnHourFiresNothingTwiceAndReArms)
{
    setNow(at(2026, 12, 7, 8, 0));
    ScheduleList list;
    list.setSchedules(fourDaily());
    list.processScheduleList();
    ASSERT_EQ(firings(trace), QStringList({"A 08:00:00"}));
    ASSERT_EQ(bus.armedMs(kTimer), 600000);

    run(list, [&]() {
        bus.jumpClock(-kHourMs);
        EXPECT_EQ(firings(trace).size(), 1);
        // B at 08:10 is 70 minutes away again: the longest wait, not a stall.
        EXPECT_EQ(bus.armedMs(kTimer), 900000);
        EXPECT_TRUE(trace.contains(QStringLiteral("(in 4200 seconds) Set timer for 900")));
        bus.advance(70 * kMinuteMs);
    });

    EXPECT_EQ(firings(trace), QStringList({"A 08:00:00", "B 08:10:00"}));
    EXPECT_EQ(bus.armedMs(kTimer), 600000);
}

TEST_F(ScheduleLoop, AResumeWithNothingDueJustReArms)
{
    ScheduleList list;
    list.setSchedules(fourDaily());
    list.processScheduleList();

    run(list, [&]() { bus.jumpClock(10 * kMinuteMs); });

    EXPECT_TRUE(firings(trace).isEmpty());
    EXPECT_EQ(bus.armedMs(kTimer), 900000);
    EXPECT_EQ(bus.dueAt(kTimer), at(2026, 12, 7, 7, 25));
}
