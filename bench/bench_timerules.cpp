// nextRunTime and moveOutside of each time-rule kind: the typical case (the
// next match lies days ahead) and the worst case (the bounded search runs to
// its end: a year of back-to-back windows, or a calendar with nothing ahead).
#include "calendar.h"
#include "daysofmonth.h"
#include "daysofweek.h"
#include "repeatperiod.h"
#include "trace.h"
#include "xmllist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using Orvel::XmlList;

namespace {

const QDateTime kFrom(QDate(2023, 5, 3), QTime(10, 0));

XmlList body(const QByteArray &entries)
{
    return XmlList::fromText("<e>" + entries + "</e>", QStringLiteral("bench"));
}

// Trace lines are still formatted at their level but not written anywhere.
void quietTrace()
{
    Orvel::Trace::setSink([](const QByteArray &) {});
}

const QByteArray kMonday = "<WeekDays><Days><Monday>true</Monday></Days></WeekDays>"
                           "<Time>08:00</Time><Duration>3600</Duration>";
// Windows of 25 hours every day: moving out of them never succeeds in a year.
const QByteArray kAlwaysWeekly =
    "<WeekDays type=\"list\"/><Time>00:00</Time><Duration>90000</Duration>";
const QByteArray kAlwaysMonthly = "<MonthlyDays>" + [] {
    QByteArray days;
    for (int day = 1; day <= 31; ++day)
        days += "<entry name=\"" + QByteArray::number(day) + "\">true</entry>";
    return days;
}() + "</MonthlyDays><Time>00:00</Time><Duration>90000</Duration>";

template<typename Rule> void nextRunTime(benchmark::State &state, const Rule &rule)
{
    quietTrace();
    for (auto _ : state)
        benchmark::DoNotOptimize(rule.nextRunTime(kFrom, false));
}

template<typename Rule> void moveOutside(benchmark::State &state, const Rule &rule)
{
    quietTrace();
    for (auto _ : state)
        benchmark::DoNotOptimize(rule.moveOutside(kFrom));
}

// A calendar of one date a day for a year, all before kFrom in the worst case.
Calendar calendar(int firstYear, const char *window)
{
    static QTemporaryDir home;
    qputenv("ORVEL_HOME", home.path().toUtf8());
    QDir().mkpath(home.path() + QStringLiteral("/rules/1"));
    QByteArray dates;
    for (QDate d(firstYear, 1, 1); d.year() == firstYear; d = d.addDays(1))
        dates += "<Date>" + d.toString(QStringLiteral("yyyyMMdd")).toLatin1() + "</Date>";
    QFile file(home.path() + QStringLiteral("/rules/1/dates.cfg"));
    if (file.open(QIODevice::WriteOnly))
        file.write("<cfg><Calendar>" + dates + "</Calendar></cfg>");
    file.close();
    return Calendar(body(QByteArray("<Calendar>dates.cfg</Calendar>") + window), 1);
}

void weekTypical(benchmark::State &s)
{
    nextRunTime(s, DaysOfWeek(body(kMonday)));
}
void weekFifthFriday(benchmark::State &s)
{
    // The longest real search: from early in May 2023 to 30 June.
    nextRunTime(s, DaysOfWeek(body("<WeekDays><Days><Friday>true</Friday></Days><WeekNumbers>"
                                   "<Fifth>true</Fifth></WeekNumbers></WeekDays>")));
}
void weekMoveTypical(benchmark::State &s)
{
    moveOutside(s, DaysOfWeek(body(kMonday)));
}
void weekMoveWorst(benchmark::State &s)
{
    moveOutside(s, DaysOfWeek(body(kAlwaysWeekly)));
}
void monthTypical(benchmark::State &s)
{
    nextRunTime(s, DaysOfMonth(body("<MonthlyDays><entry name=\"15\">true</entry></MonthlyDays>")));
}
void monthMoveWorst(benchmark::State &s)
{
    moveOutside(s, DaysOfMonth(body(kAlwaysMonthly)));
}
void calendarTypical(benchmark::State &s)
{
    nextRunTime(s, calendar(2023, ""));
}
void calendarNothingAhead(benchmark::State &s)
{
    nextRunTime(s, calendar(2022, ""));
}
void calendarMoveWorst(benchmark::State &s)
{
    moveOutside(s, calendar(2023, "<Time>00:00</Time><Duration>90000</Duration>"));
}
void repeatHours(benchmark::State &s)
{
    nextRunTime(s, RepeatPeriod(RepeatPeriod::Hours, 4));
}
void repeatMonths(benchmark::State &s)
{
    nextRunTime(s, RepeatPeriod(RepeatPeriod::Months, 1));
}

} // namespace

BENCHMARK(weekTypical)->Unit(benchmark::kMicrosecond);
BENCHMARK(weekFifthFriday)->Unit(benchmark::kMicrosecond);
BENCHMARK(weekMoveTypical)->Unit(benchmark::kMicrosecond);
BENCHMARK(weekMoveWorst)->Unit(benchmark::kMicrosecond);
BENCHMARK(monthTypical)->Unit(benchmark::kMicrosecond);
BENCHMARK(monthMoveWorst)->Unit(benchmark::kMicrosecond);
BENCHMARK(calendarTypical)->Unit(benchmark::kMicrosecond);
BENCHMARK(calendarNothingAhead)->Unit(benchmark::kMicrosecond);
BENCHMARK(calendarMoveWorst)->Unit(benchmark::kMicrosecond);
BENCHMARK(repeatHours)->Unit(benchmark::kMicrosecond);
BENCHMARK(repeatMonths)->Unit(benchmark::kMicrosecond);
