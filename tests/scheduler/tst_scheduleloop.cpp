// The running timer loop over real schedules: the in-memory transport
// delivers each timer expiry when the frozen clock reaches it.
#include "memorytransport.h"
#include "schedulelist.h"
#include "scheduletestsupport.h"
#include "timer.h"

using namespace Elements;

namespace {

// How often each schedule fired, from the loop's own trace.
QMap<QString, int> firings(const TraceCapture &trace)
{
    QMap<QString, int> count;
    for (const QString &text : trace.texts()) {
        if (text.startsWith(QLatin1String("Schedule triggered:  ")))
            ++count[text.section(QLatin1Char(' '), 3, 3)];
    }
    return count;
}

QStringList firingOrder(const TraceCapture &trace)
{
    QStringList order;
    for (const QString &text : trace.texts()) {
        if (text.startsWith(QLatin1String("Schedule triggered:  ")))
            order << text.section(QLatin1Char(' '), 3, 3);
    }
    return order;
}

} // namespace

class ScheduleLoop : public ScheduleTest
{
protected:
    Schedule started(const QString &file, const QString &name)
    {
        Schedule s = schedule(file, name);
        s.initiateSchedule();
        return s;
    }
    // Runs the list as the process does, with its first pass at once, while
    // the clock moves on by `milliseconds`; then shuts it down.
    void runFor(ScheduleList &list, qint64 milliseconds)
    {
        bus.setIdleHook([this, milliseconds]() {
            bus.advance(milliseconds);
            bus.shutDown();
        });
        Orvel::Timer::set(QStringLiteral("SchedulerTimer"), 1, QString());
        list.run();
    }

    Orvel::MemoryTransport bus;
};

TEST_F(ScheduleLoop, ThreeSchedulesFireInOrderOverADay)
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
    {
        TraceCapture quiet(2);
        runFor(list, 24 * 3600 * 1000);
        EXPECT_EQ(firingOrder(quiet), QStringList({"daily", "calendar", "evening"}));
    }
    // Each fired once, and each fired at its time, not a pass later.
    EXPECT_EQ(list.scheduleList().at(0).name(), QStringLiteral("daily"));
    EXPECT_EQ(list.scheduleList().at(0).nextOccurrence(), at(2026, 12, 8, 8, 0));
    QMap<QString, QDateTime> last;
    for (const Schedule &s : list.scheduleList())
        last.insert(s.name(), s.lastOccurrence());
    EXPECT_EQ(last.value(QStringLiteral("calendar")), at(2026, 12, 7, 12, 30));
    EXPECT_EQ(last.value(QStringLiteral("evening")), at(2026, 12, 7, 20, 15));
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
        runFor(list, 13 * 3600 * 1000); // the rest of the whole-day window
        EXPECT_EQ(firings(quiet).value(QStringLiteral("once")), 1);
        EXPECT_EQ(quiet.texts().filter(QStringLiteral("has run out")).size(), 1);
    }
    reopenStore();
    ScheduleList restarted;
    restarted.setSchedules({started("once.xml", "once")});
    TraceCapture quiet(2);
    runFor(restarted, 3600 * 1000);
    EXPECT_TRUE(firings(quiet).isEmpty());
}

TEST_F(ScheduleLoop, ADailyScheduleFiredAWeekAgoFiresAtItsNextWindowOnly)
{
    writeScheduleFile(QStringLiteral("daily.xml"), {daily("Trigger", "08:00", 3600)});
    Schedule before = started("daily.xml", "daily");
    before.markOccurred(at(2026, 11, 30, 8, 0));
    setNow(at(2026, 12, 7, 12, 0));
    ScheduleList list;
    list.setSchedules({started("daily.xml", "daily")});
    TraceCapture quiet(2);
    runFor(list, 20 * 3600 * 1000);
    EXPECT_EQ(firings(quiet).value(QStringLiteral("daily")), 1);
    EXPECT_EQ(list.scheduleList().first().lastOccurrence(), at(2026, 12, 8, 8, 0));
}
