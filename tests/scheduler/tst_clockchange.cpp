// The timer loop when the wall clock is set or the machine resumes: the
// in-memory transport's jumpClock() stands for the system's notification.
#include "memorytransport.h"
#include "schedulelist.h"
#include "scheduletestsupport.h"

using namespace Elements;
using Orvel::Clock;

namespace {

const QString kTimer = QStringLiteral("SchedulerTimer");
constexpr qint64 kHourMs = 3600000;

// Daily schedules on the fixture's Monday, each with a one-minute window, so
// that each is due once a day; the schedule list is not yet running.
class ClockChangeTest : public ScheduleTest
{
protected:
    ClockChangeTest()
    {
        QList<Schedule> list;
        for (const auto &[name, time] : {std::pair{"A", "08:00"}, std::pair{"B", "08:10"},
                                         std::pair{"C", "08:20"}, std::pair{"D", "12:00"}}) {
            const QString fileName = QString::fromLatin1(name) + ".xml";
            writeScheduleFile(fileName, {daily("Trigger", time, 60)});
            list << schedule(fileName, QString::fromLatin1(name));
            list.last().initiateSchedule();
        }
        schedules.setSchedules(list);
    }

    // Runs the loop until `whileRunning` has done its part.
    void run(const std::function<void()> &whileRunning)
    {
        bus.setIdleHook([&]() {
            whileRunning();
            bus.shutDown();
        });
        schedules.run();
    }

    // The names of the schedules fired so far, in firing order.
    QStringList fired() const
    {
        QStringList names;
        for (const QString &text : trace.texts()) {
            if (text.startsWith(QStringLiteral("Schedule triggered:  ")))
                names << text.section(QLatin1Char(' '), 3, 3);
        }
        return names;
    }

    Orvel::MemoryTransport bus;
    ScheduleList schedules;
};

} // namespace

TEST_F(ClockChangeTest, SetForwardsPastSeveralDueTimesFiresEachDueScheduleOnce)
{
    schedules.processScheduleList();
    ASSERT_EQ(bus.armedMs(kTimer), 900000);

    run([&]() { bus.jumpClock(90 * 60 * 1000); });

    EXPECT_EQ(Clock::now(), at(2026, 12, 7, 8, 30));
    EXPECT_EQ(fired(), QStringList({"A", "B", "C"}));
    EXPECT_EQ(schedules.scheduleList().first().name(), QStringLiteral("D"));
    EXPECT_EQ(bus.armedMs(kTimer), 900000);
    EXPECT_TRUE(trace.contains(QStringLiteral("Wall clock jumped by 5400000 ms - pending timers "
                                              "expire now")));
}

TEST_F(ClockChangeTest, SetBackwardsByAnHourFiresNothingTwiceAndReArms)
{
    setNow(at(2026, 12, 7, 8, 0));
    schedules.processScheduleList();
    ASSERT_EQ(fired(), QStringList({"A"}));
    ASSERT_EQ(bus.armedMs(kTimer), 600000);

    run([&]() {
        bus.jumpClock(-kHourMs);
        EXPECT_EQ(fired(), QStringList({"A"}));
        // B at 08:10 is 70 minutes away again: the longest wait, not a stall.
        EXPECT_EQ(bus.armedMs(kTimer), 900000);
        EXPECT_TRUE(trace.contains(QStringLiteral("(in 4200 seconds) Set timer for 900")));
        bus.advance(70 * 60 * 1000);
    });

    EXPECT_EQ(Clock::now(), at(2026, 12, 7, 8, 10));
    EXPECT_EQ(fired(), QStringList({"A", "B"}));
    EXPECT_EQ(bus.armedMs(kTimer), 600000);
}

TEST_F(ClockChangeTest, AResumeWithNothingDueJustReArms)
{
    schedules.processScheduleList();

    run([&]() { bus.jumpClock(10 * 60 * 1000); });

    EXPECT_TRUE(fired().isEmpty());
    EXPECT_EQ(bus.armedMs(kTimer), 900000);
    EXPECT_EQ(bus.dueAt(kTimer), at(2026, 12, 7, 7, 25));
}
