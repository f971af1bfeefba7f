// Builds one schedule from structured input: trigger, exclusion and fallback
// elements of every kind (week days, month days, a calendar, a manual
// trigger), repeat-period triggers, times, durations and a start instant,
// often close to a change of the clocks. Then asks it for its next
// occurrence and lets it fire a few times. Whatever the elements say:
// - no answer is earlier than the instant asked from;
// - the inclusive search is never later than the exclusive one (none counts
//   as later than any time), but for the one second that the way out of an
//   exclusion adds past its end (see skipsExclusionEnd) and for a fallback
//   standing in for a run excluded at the start;
// - a schedule never fires twice at one instant (a window start fires once);
// - every call ends within the fuzzer's per-input timeout: the searches are
//   bounded.

#include "clock.h"
#include "fuzzsupport.h"
#include "repeatperiod.h"
#include "schedule.h"

#include <fuzzer/FuzzedDataProvider.h>

using FuzzSupport::kRuleSet;
using FuzzSupport::shown;
using Orvel::XmlList;

namespace {

// Real schedules hold a handful of elements; a few more reach every
// combination of roles without making each input slow.
constexpr int kMaxElements = 8;
constexpr int kMaxDates = 24;
// Firings after the first, each searched from the one before.
constexpr int kFollowingFirings = 4;
// Spans around the start instant for calendar dates and for the start
// itself around an interesting instant: a little over a year either side.
constexpr int kSpanDays = 400;

const char *const kRoles[] = {"Trigger", "Exclude", "Fallback", "TriggerFallback", "trigger"};
const char *const kDayNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                 "Friday", "Saturday", "Sunday",    "All"};
const char *const kWeekNames[] = {"First", "Second", "Third", "Fourth", "Fifth", "Last", "All"};
const char *const kCalendarNames[] = {"cal.cfg", "missing.cfg", "sub", "../cal.cfg"};
const char *const kCalendarFile = "cal.cfg";

// Instants (UTC) where date arithmetic is easily wrong: the Berlin clocks
// going forward and back, a leap day, the ends of 32-bit time and of the
// common range of years.
const qint64 kInterestingSecs[] = {
    1774746000, // 2026-03-29 01:00 UTC, spring forward
    1792890000, // 2026-10-25 01:00 UTC, fall back
    1709164800, // 2024-02-29
    0,          // 1970-01-01
    2147483647, // 2038-01-19
    4107542400, // 2100-02-28
};

[[noreturn]] void fail(const char *what, const QDateTime &asked, const QDateTime &answer)
{
    FuzzSupport::fail("fuzz_schedule", what,
                      QStringLiteral("from %1 answered %2").arg(shown(asked), shown(answer)));
}

QDateTime startInstant(FuzzedDataProvider &input)
{
    // One input in eight starts anywhere within some thousand years of 1970.
    // Not more: past 2037 the C library works out every local time from the
    // zone's rule text, which costs the fuzzer most of its speed.
    if (input.ConsumeIntegralInRange<int>(0, 7) == 7) {
        return QDateTime::fromMSecsSinceEpoch(
            input.ConsumeIntegralInRange<qint64>(-(qint64(1) << 45), qint64(1) << 45));
    }
    const qint64 base = input.PickValueInArray(kInterestingSecs);
    const qint64 offset =
        input.ConsumeIntegralInRange<qint64>(-kSpanDays * 86400LL, kSpanDays * 86400LL);
    return QDateTime::fromSecsSinceEpoch(base + offset)
        .addMSecs(input.ConsumeIntegralInRange<int>(0, 999));
}

// Mostly well-formed times, some out of range, some not times at all.
QString timeOfDay(FuzzedDataProvider &input)
{
    if (input.ConsumeIntegralInRange<int>(0, 15) == 0)
        return QString::fromStdString(input.ConsumeRandomLengthString(12));
    const int hour = input.ConsumeIntegralInRange<int>(0, 25);
    const int minute = input.ConsumeIntegralInRange<int>(0, 61);
    QString text = QStringLiteral("%1:%2")
                       .arg(hour, 2, 10, QLatin1Char('0'))
                       .arg(minute, 2, 10, QLatin1Char('0'));
    if (input.ConsumeBool())
        text += QStringLiteral(":%1").arg(input.ConsumeIntegralInRange<int>(0, 61), 2, 10,
                                          QLatin1Char('0'));
    return text;
}

// Short windows, whole days, or anything a uint holds.
quint32 duration(FuzzedDataProvider &input)
{
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return input.ConsumeIntegralInRange<quint32>(0, 3600);
    case 1:
        return 86400 * input.ConsumeIntegralInRange<quint32>(0, 8);
    case 2:
        return input.ConsumeIntegralInRange<quint32>(0, 86400 * 40);
    default:
        return input.ConsumeIntegral<quint32>();
    }
}

template<size_t Count> XmlList flags(FuzzedDataProvider &input, const char *const (&names)[Count])
{
    XmlList list;
    const int count = input.ConsumeIntegralInRange<int>(0, int(Count));
    for (int i = 0; i < count; ++i) {
        // One statement each: the seeds rely on the order of consumption.
        const QLatin1String name(input.PickValueInArray(names));
        list.set(name, input.ConsumeBool(), XmlList::Replace);
    }
    return list;
}

XmlList weekDays(FuzzedDataProvider &input)
{
    XmlList weekDays;
    if (input.ConsumeBool())
        weekDays.set(QStringLiteral("Days"), flags(input, kDayNames), XmlList::Replace);
    if (input.ConsumeBool())
        weekDays.set(QStringLiteral("WeekNumbers"), flags(input, kWeekNames), XmlList::Replace);
    return weekDays;
}

XmlList monthDays(FuzzedDataProvider &input)
{
    XmlList days;
    const int count = input.ConsumeIntegralInRange<int>(1, 4);
    for (int i = 0; i < count; ++i) {
        const int day = input.ConsumeIntegralInRange<int>(0, 32);
        days.set(day == 32 ? QStringLiteral("Last") : QString::number(day), input.ConsumeBool(),
                 XmlList::Replace);
    }
    return days;
}

// The rule entry of an element; repeat periods cannot come from an element.
void addRule(FuzzedDataProvider &input, XmlList &entry)
{
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        entry.set(QStringLiteral("WeekDays"), weekDays(input), XmlList::Replace);
        break;
    case 1:
        entry.set(QStringLiteral("MonthlyDays"), monthDays(input), XmlList::Replace);
        break;
    case 2:
        entry.set(QStringLiteral("Calendar"), input.PickValueInArray(kCalendarNames),
                  XmlList::Replace);
        break;
    default: {
        XmlList manual;
        manual.set(QStringLiteral("ActivationName"), "Now", XmlList::Replace);
        entry.set(QStringLiteral("ManualTrigger"), manual, XmlList::Replace);
    }
    }
}

XmlList element(FuzzedDataProvider &input)
{
    XmlList entry;
    entry.set(QStringLiteral("Type"), input.PickValueInArray(kRoles), XmlList::Replace);
    addRule(input, entry);
    if (input.ConsumeBool())
        entry.set(QStringLiteral("Time"), timeOfDay(input), XmlList::Replace);
    if (input.ConsumeBool())
        entry.set(QStringLiteral("Duration"), duration(input), XmlList::Replace);
    return entry;
}

// Dates near the start, in any order, some twice, some impossible.
void writeCalendar(FuzzedDataProvider &input, const QDateTime &start)
{
    QByteArray text = "<config><Calendar>";
    const int count = input.ConsumeIntegralInRange<int>(0, kMaxDates);
    for (int i = 0; i < count; ++i) {
        const QDate date =
            start.date().addDays(input.ConsumeIntegralInRange<int>(-kSpanDays, kSpanDays));
        const QByteArray day = input.ConsumeIntegralInRange<int>(0, 15) == 0
                                   ? "20230230"
                                   : date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        text += "<Date>" + day + "</Date>";
    }
    FuzzSupport::writeRulesFile(QLatin1String(kCalendarFile), text + "</Calendar></config>");
}

Schedule schedule(FuzzedDataProvider &input)
{
    Schedule built(QStringLiteral("fuzz"), kRuleSet, nullptr, false);
    const int elements = input.ConsumeIntegralInRange<int>(0, kMaxElements);
    for (int i = 0; i < elements; ++i) {
        if (input.ConsumeIntegralInRange<int>(0, 3) == 0) {
            const quint32 unit = input.ConsumeIntegralInRange<quint32>(0, RepeatPeriod::Years + 1);
            const quint32 count = input.ConsumeBool()
                                      ? input.ConsumeIntegralInRange<quint32>(0, 100)
                                      : input.ConsumeIntegral<quint32>();
            built.addRepeatPeriod(unit, count, kRuleSet);
        } else {
            built.addElement(element(input), kRuleSet);
        }
    }
    return built;
}

// The way out of an exclusion window ends one second past it, at its end
// plus one second, though the end itself already lies outside (the rules'
// arithmetic, kept as it is). So a search from inside an exclusion passes
// over its end, where a trigger window may start that the search from after
// it finds. An exclusive answer whose preceding second is excluded is that
// case, and only there may the inclusive answer be later.
bool skipsExclusionEnd(const Schedule &schedule, const QDateTime &exclusive)
{
    const QDateTime before = exclusive.addSecs(-1);
    return schedule.moveOutOfExclusions(before) != before;
}

void checkSearches(Schedule &schedule, const QDateTime &start)
{
    const QDateTime exclusive = schedule.getNextOccurrence(start, false);
    const QDateTime inclusive = schedule.getNextOccurrence(start, true);
    if (exclusive.isValid() && exclusive < start)
        fail("exclusive search earlier than its start", start, exclusive);
    if (inclusive.isValid() && inclusive < start)
        fail("inclusive search earlier than its start", start, inclusive);
    // A fallback stands in for a run excluded at `start` however far off it
    // is, while the exclusive search goes past that run to the next one.
    const bool fallbackStandsIn = schedule.fallbackIndex() >= 0;
    if (exclusive.isValid() && (!inclusive.isValid() || exclusive < inclusive) &&
        !skipsExclusionEnd(schedule, exclusive) && !fallbackStandsIn)
        fail("inclusive search later than the exclusive one", start, inclusive);
}

// As the timer loop fires it: exactly on time, the clock at the occurrence.
void checkFirings(Schedule &schedule, const QDateTime &start)
{
    Orvel::Clock::setNow(start);
    schedule.initiateSchedule();
    QDateTime previous = start;
    for (int fired = 0; fired <= kFollowingFirings; ++fired) {
        const QDateTime next = schedule.nextOccurrence();
        if (!next.isValid())
            return;
        if (next < previous || (fired > 0 && next == previous))
            fail(fired == 0 ? "first occurrence earlier than now" : "fires again too soon",
                 previous, next);
        Orvel::Clock::setNow(next);
        schedule.markOccurred(next);
        previous = next;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QDateTime start = startInstant(input);
    writeCalendar(input, start);
    Schedule built = schedule(input);
    checkSearches(built, start);
    checkFirings(built, start);
    Orvel::Clock::useSystem();
    return 0;
}
