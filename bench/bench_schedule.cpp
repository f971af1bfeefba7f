// Next-occurrence searches for a typical and an adversarial schedule, and the
// start of a large rule set against one store.
#include "clock.h"
#include "configlocal.h"
#include "schedule.h"
#include "trace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QDateTime kMonday(QDate(2026, 12, 7), QTime(7, 0));

// A rules home in a temporary folder with the given schedule files.
class BenchHome
{
public:
    BenchHome()
    {
        qputenv("ORVEL_HOME", dir.path().toUtf8());
        qputenv("ORVEL_TRACE_LEVEL", "-1");
        Orvel::Trace::configure();
        QDir().mkpath(dir.path() + QStringLiteral("/rules/1"));
    }
    void write(const QString &name, const QByteArray &text) const
    {
        QFile file(dir.path() + QStringLiteral("/rules/1/") + name);
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
    }

private:
    QTemporaryDir dir;
};

const QByteArray kEveryDay =
    "<WeekDays><Days><All>true</All></Days><WeekNumbers><All>true</All></WeekNumbers></WeekDays>";

QByteArray element(const QByteArray &type, const QByteArray &rule, const QByteArray &window = "")
{
    return "<ScheduleElement><Type>" + type + "</Type>" + rule + window + "</ScheduleElement>";
}

void typicalNextOccurrence(benchmark::State &state)
{
    BenchHome home;
    home.write(QStringLiteral("s.xml"),
               "<s>" +
                   element("Trigger", kEveryDay, "<Time>08:00</Time><Duration>3600</Duration>") +
                   element("Exclude", "<WeekDays><Days><Saturday>true</Saturday><Sunday>true"
                                      "</Sunday></Days></WeekDays>") +
                   "</s>");
    Schedule schedule(QStringLiteral("typical"), QStringLiteral("s.xml"), 1, nullptr, false);
    // From Friday evening: the weekend is excluded, Monday 08:00 is the answer.
    const QDateTime from = kMonday.addDays(4).addSecs(12 * 3600);
    for (auto _ : state)
        benchmark::DoNotOptimize(schedule.getNextOccurrence(from, false));
}
BENCHMARK(typicalNextOccurrence)->Unit(benchmark::kMicrosecond);

// A trigger every day, a calendar exclusion on 364 days of the year and a
// daily fallback that the exclusion covers too: every bound is reached.
void adversarialNextOccurrence(benchmark::State &state)
{
    BenchHome home;
    QByteArray dates;
    for (QDate day = kMonday.date(); day < kMonday.date().addDays(364); day = day.addDays(1))
        dates += "<Date>" + day.toString(QStringLiteral("yyyyMMdd")).toUtf8() + "</Date>";
    home.write(QStringLiteral("dates.cfg"), "<c><Calendar>" + dates + "</Calendar></c>");
    home.write(QStringLiteral("s.xml"),
               "<s>" + element("Trigger", kEveryDay, "<Time>08:00</Time><Duration>60</Duration>") +
                   element("Exclude", "<Calendar>dates.cfg</Calendar>") +
                   element("Fallback", kEveryDay, "<Time>12:00</Time><Duration>60</Duration>") +
                   "</s>");
    Schedule schedule(QStringLiteral("adversarial"), QStringLiteral("s.xml"), 1, nullptr, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(schedule.getNextOccurrence(kMonday, true));
}
BENCHMARK(adversarialNextOccurrence)->Unit(benchmark::kMillisecond)->Iterations(3);

// Found by fuzz_schedule: an exclusion without end (a whole-day window every
// day), a fallback it covers too, and a repeat period that decides through
// the fallbacks. Each retry of the period meets the exclusion's end of time
// anew.
void endlessExclusionNextOccurrence(benchmark::State &state)
{
    BenchHome home;
    home.write(
        QStringLiteral("s.xml"),
        "<s>" + element("Exclude", kEveryDay, "<Time>01:33:33</Time><Duration>86400</Duration>") +
            element("Fallback", "<MonthlyDays><entry name=\"25\">true</entry></MonthlyDays>",
                    "<Time>01:33:33</Time><Duration>86400</Duration>") +
            "</s>");
    Schedule schedule(QStringLiteral("endless"), QStringLiteral("s.xml"), 1, nullptr, false);
    schedule.addRepeatPeriod(3, 1024, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(schedule.getNextOccurrence(kMonday, true));
}
BENCHMARK(endlessExclusionNextOccurrence)->Unit(benchmark::kMillisecond)->Iterations(3);

// Starting every schedule of a large rule set: each reads its stored times and
// saves new ones. Inside one delivery the store is written once at the end,
// and that write is timed too. Reading the schedule files is not.
void initiateManySchedules(benchmark::State &state)
{
    BenchHome home;
    home.write(QStringLiteral("s.xml"),
               "<s>" +
                   element("Trigger", kEveryDay, "<Time>08:00</Time><Duration>3600</Duration>") +
                   "</s>");
    Orvel::Clock::setNow(kMonday);
    for (auto _ : state) {
        state.PauseTiming();
        Orvel::ConfigLocal store(QStringLiteral("scheduler.cfg"));
        QList<Schedule> schedules;
        for (int i = 0; i < state.range(0); ++i)
            schedules.append(Schedule(QStringLiteral("Policy%1-1-Backup-1").arg(i),
                                      QStringLiteral("s.xml"), 1, &store, true));
        state.ResumeTiming();
        {
            Orvel::ConfigLocal::DeferredSaves delivery;
            for (Schedule &schedule : schedules)
                schedule.initiateSchedule();
        }
    }
    Orvel::Clock::useSystem();
}
BENCHMARK(initiateManySchedules)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
