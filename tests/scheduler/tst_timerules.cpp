// The five time rules, asked through the schedule element that holds them:
// one table for what they share (next run, windows, clock changes), one for
// reading and refusing them, then the few answers that are a rule's own.
#include "calendar.h"
#include "daysofmonth.h"
#include "daysofweek.h"
#include "manualtrigger.h"
#include "repeatperiod.h"
#include "schedtest.h"

#include <functional>
#include <tuple>

using Orvel::XmlList;

namespace {

XmlList body(const char *words)
{
    return parsed("<e>" + Rules::element(QString::fromLatin1(words)) + "</e>");
}

class TimeRules : public SchedulerTest
{
protected:
    TimeRules()
    {
        // Unsorted, a date twice, two days back to back, both clock-change days.
        write("dates.cfg", Rules::calendarFile({"20230310", "20230301", "20230301", "20230306",
                                                "20230307", "20230326", "20231029"}));
        write("bad.cfg",
              "<c><Calendar><Date>20230230</Date><Date>2023-03-01</Date><Date>"
              "20230301</Date><Day>20230302</Day><Date type=\"uint\">3</Date></Calendar></c>");
        write("none.cfg", Rules::calendarFile({}));
        write("broken.cfg", "<c><Calendar>");
        write("nodates.cfg", "<c><Other/></c>");
        write("text.cfg", "<c><Calendar>20230301</Calendar></c>");
        home.write("rules/2/dates.cfg", Rules::calendarFile({"20230301"}));
        QStringList days; // 363, then 364 windows back to back from 2024-01-01
        for (QDate d(2024, 1, 1); days.size() < 364; d = d.addDays(1))
            days << d.toString("yyyyMMdd");
        write("run364.cfg", Rules::calendarFile(days));
        days.removeLast();
        write("run363.cfg", Rules::calendarFile(days));
    }

    // A trigger of the rule in words (schedtest.h), or "every N Unit".
    static ScheduleElement rule(const char *words)
    {
        const QStringList w = QString::fromLatin1(words).split(' ');
        if (w.first() == QLatin1String("every"))
            return ScheduleElement(RepeatPeriod::unitFromName(w.value(2)), w.value(1).toUInt(), 1);
        return ScheduleElement(body(words), 1);
    }
};

} // namespace

// op ">": the next run after `from`, a window start at `from` counting for the
// week and month rules; ">=": an open window answers `from` itself; "in": whether
// `from` lies in a window ("yes"/"no"); "off": the first instant outside them.
TEST_F(TimeRules, NextRunWindowsAndClockChanges)
{
    const char *const rows[][4] = {
        {"week Monday 08:00", "2023-01-02 07:00", ">", "2023-01-02 08:00"},
        {"week Monday 08:00", "2023-01-02 08:00", ">", "2023-01-02 08:00"},
        {"week Monday 08:00", "2023-01-02 08:00:01", ">", "2023-01-09 08:00"},
        {"week Monday 08:00", "2023-01-02 08:00:00.500", ">", "2023-01-09 08:00"},
        {"week Monday 08:00", "2023-01-01 23:59:59", ">", "2023-01-02 08:00"},
        {"week Saturday 08:00", "2023-01-02 00:00", ">", "2023-01-07 08:00"},
        {"week Monday First 08:00", "2023-04-04 00:00", ">", "2023-05-01 08:00"},
        {"week Monday Second Third", "2023-01-03 00:00", ">", "2023-01-09 00:00"},
        {"week Monday Second Third", "2023-01-17 00:00", ">", "2023-02-13 00:00"},
        {"week Friday Fifth 08:00", "2023-04-01 00:00", ">", "2023-06-30 08:00"}, // skips May
        {"week Tuesday Last 08:00", "2023-02-01 00:00", ">", "2023-02-28 08:00"},
        {"week Thursday Last 08:00", "2024-02-01 00:00", ">", "2024-02-29 08:00"}, // the fifth
        {"week Monday First 08:00", "2023-12-05 00:00", ">", "2024-01-01 08:00"},
        {"week All 08:00/3600", "2023-01-02 08:30", ">=", "2023-01-02 08:30"},
        {"week All 08:00/3600", "2023-01-02 08:00", ">=", "2023-01-02 08:00"},
        {"week All 08:00/3600", "2023-01-02 09:00", ">=", "2023-01-03 08:00"}, // just ended
        {"week All 08:00/3600", "2023-01-02 07:59", ">", "2023-01-02 08:00"},
        {"week All 08:00/3600", "2023-01-02 08:30", ">", "2023-01-03 08:00"},
        {"week Friday 23:00/7200", "2023-01-07 00:30", ">=", "2023-01-07 00:30"}, // past midnight
        {"week Friday 23:00/7200", "2023-01-07 00:30", ">", "2023-01-13 23:00"},
        {"week Friday 23:00/7200", "2023-01-07 01:00", ">=", "2023-01-13 23:00"},
        {"week All 08:00/3600", "2023-01-02 08:30", "off", "2023-01-02 09:00:01"},
        {"week All 08:00/3600", "2023-01-02 09:00", "in", "no"},
        {"week All 08:00/3600", "2023-01-02 09:00", "off", "2023-01-02 09:00:01"},
        {"week All 08:00/3600", "2023-01-02 07:00", "off", "2023-01-02 07:00"},
        {"week Friday 23:00/7200", "2023-01-07 00:30", "in", "yes"},
        {"week Friday 23:00/7200", "2023-01-06 23:30", "off", "2023-01-07 01:00:01"},
        {"week Monday Tuesday", "2023-01-02 10:00", "off", "2023-01-04 00:00:01"}, // back to back
        {"week Monday 08:00/0", "2023-01-02 08:00", "in", "yes"},
        {"week Monday 08:00/0", "2023-01-02 08:00", "off", "2023-01-02 08:00:01"},
        {"week Monday 08:00/0", "2023-01-02 08:00:01", "in", "no"},
        {"week All 00:00/90000", "2023-01-02 10:00", "off", "never"}, // a year of 25-hour windows
        // The window: whole days without a Time, else one second unless a Duration reads.
        {"week Monday", "2023-01-01 12:00", ">", "2023-01-02 00:00"},
        {"week Monday", "2023-01-02 10:30", "off", "2023-01-03 00:00:01"},
        {"week Monday <Duration>60</Duration>", "2023-01-02 10:30", "off", "2023-01-03 00:00:01"},
        {"week Monday 10:30", "2023-01-02 10:30", "off", "2023-01-02 10:30:02"},
        {"week Monday 10:30:15/5", "2023-01-02 10:30:15", "off", "2023-01-02 10:30:21"},
        {"week Monday 25:61/7", "2023-01-02 00:00", "off", "2023-01-02 00:00:08"},
        {"week Monday 10:30/-5", "2023-01-02 10:30", "off", "2023-01-02 10:30:02"},
        {"week Monday 10:30 <Duration type=\"int\">5</Duration>", "2023-01-02 10:30", "off",
         "2023-01-02 10:30:02"},
        {"week Monday 10:30/4294967296", "2023-01-02 10:30", "off", "2023-01-02 10:30:02"},
        // Month days are never moved; only Last follows the month.
        {"month 31 09:00/60", "2023-04-01 08:00", ">", "2023-05-31 09:00"},
        {"month 30 09:00/60", "2023-02-01 00:00", ">", "2023-03-30 09:00"},
        {"month 29 09:00/60", "2023-02-01 00:00", ">", "2023-03-29 09:00"},
        {"month 29 09:00/60", "2024-02-01 00:00", ">", "2024-02-29 09:00"},
        {"month Last 09:00/60", "2023-02-01 00:00", ">", "2023-02-28 09:00"},
        {"month Last 09:00/60", "2024-02-01 00:00", ">", "2024-02-29 09:00"},
        {"month 31 Last 09:00/60", "2023-03-01 00:00", ">", "2023-03-31 09:00"},
        {"month 15 09:00/60", "2023-05-15 09:00", ">", "2023-05-15 09:00"},
        {"month 15 09:00/60", "2023-05-15 09:00:01", ">", "2023-06-15 09:00"},
        {"month 1 09:00/60", "2023-12-01 09:00:01", ">", "2024-01-01 09:00"},
        {"month 1 15 09:00/60", "2023-05-02 00:00", ">", "2023-05-15 09:00"},
        {"month 1 Last", "2023-04-30 12:00", "off", "2023-05-02 00:00:01"},
        {"month 1 Last", "2024-02-29 12:00", "off", "2024-03-02 00:00:01"},
        {"month 1 Last", "2024-02-28 12:00", "off", "2024-02-28 12:00"},
        {"month Last <WeekDays><Days><All>true</All></Days></WeekDays>", "2023-01-02 00:00", ">",
         "2023-01-31 00:00"}, // the month rule wins
        // Calendar starts are strict: a start at `from` is not answered again.
        {"dates dates.cfg 08:00/3600", "2023-01-01 00:00", ">", "2023-03-01 08:00"},
        {"dates dates.cfg 08:00/3600", "2023-03-01 08:00", ">", "2023-03-06 08:00"},
        {"dates dates.cfg 08:00/3600", "2023-03-01 08:30", ">=", "2023-03-01 08:30"},
        {"dates dates.cfg 08:00/3600", "2023-03-01 09:00", ">=", "2023-03-06 08:00"},
        {"dates dates.cfg 08:00/3600", "2023-10-29 08:00", ">", "never"},
        {"dates dates.cfg 08:00/3600", "2023-10-29 08:00", ">=", "2023-10-29 08:00"},
        {"dates dates.cfg 08:00/3600", "2023-03-01 08:30", "off", "2023-03-01 09:00:01"},
        {"dates dates.cfg 08:00/3600", "2023-03-01 09:00", "off", "2023-03-01 09:00"},
        {"dates dates.cfg 22:00/7200", "2023-03-01 23:30", "in", "yes"},
        {"dates dates.cfg 22:00/7200", "2023-03-01 22:00", "in", "yes"},
        {"dates dates.cfg 22:00/7200", "2023-03-02 00:00", "in", "no"},
        {"dates dates.cfg 22:00/7200", "2023-03-01 21:59:59", "in", "no"},
        {"dates dates.cfg 22:00/7200", "never", "in", "no"},
        {"dates dates.cfg 08:00/0", "2023-03-01 08:00", "in", "no"},
        {"dates dates.cfg 08:00/0", "2023-03-01 08:00", "off", "2023-03-01 08:00:01"},
        {"dates dates.cfg", "2023-03-06 10:00", "off", "2023-03-08 00:00:01"},
        {"dates none.cfg", "2023-03-06 10:00", "in", "no"},
        {"dates bad.cfg", "2000-01-01 00:00", ">", "2023-03-01 00:00"},
        {"dates bad.cfg", "2023-03-01 00:00", ">", "never"},
        // Hopping back-to-back windows stops after 364 of them.
        {"dates run363.cfg 00:00/90000", "2024-01-01 12:00", "off", "2024-12-29 01:00:01"},
        {"dates run364.cfg 00:00/90000", "2024-01-01 12:00", "off", "never"},
        // A period counts afresh from `from`; a day the month lacks is its last.
        {"every 90 Seconds", "2023-05-01 10:00", ">", "2023-05-01 10:01:30"},
        {"every 90 Minutes", "2023-05-01 10:00", ">", "2023-05-01 11:30"},
        {"every 4 Hours", "2023-05-01 10:00", ">", "2023-05-01 14:00"},
        {"every 4 Hours", "2023-05-01 10:00", ">=", "2023-05-01 10:00"},
        {"every 4 Hours", "2023-05-01 10:00", "in", "yes"},
        {"every 4 Hours", "2023-05-01 10:00", "off", "never"},
        {"every 1 Days", "2023-05-31 10:00", ">", "2023-06-01 10:00"},
        {"every 2 Weeks", "2023-12-25 10:00", ">", "2024-01-08 10:00"},
        {"every 1 Months", "2023-01-31 10:00", ">", "2023-02-28 10:00"},
        {"every 1 Months", "2024-01-31 10:00", ">", "2024-02-29 10:00"},
        {"every 1 Months", "2024-02-29 10:00", ">", "2024-03-29 10:00"},
        {"every 12 Months", "2024-02-29 10:00", ">", "2025-02-28 10:00"},
        {"every 13 Months", "2023-12-31 23:59:59", ">", "2025-01-31 23:59:59"},
        {"every 1 Months", "-0001-12-15 10:00", ">", "0001-01-15 10:00"}, // no year 0
        {"every 1 Years", "2024-02-29 10:00", ">", "2025-02-28 10:00"},
        {"every 4 Years", "2024-02-29 10:00", ">", "2028-02-29 10:00"},
        {"every 4294967295 Seconds", "2023-05-01 10:00", ">", "2159-06-07 14:28:15Z"},
        {"every 4294967295 Years", "2023-05-01 10:00", ">", "never"},
        {"manual Nightly", "2023-01-02 08:00", ">=", "never"},
        {"manual Nightly", "2023-01-02 08:00", "in", "no"},
        {"manual Nightly", "2023-01-02 08:00", "off", "never"},
        {"week Monday", "never", ">", "never"},
        // Europe/Berlin: 2023-03-26 02:00 CET jumps to 03:00 CEST, 2023-10-29
        // 03:00 CEST falls back to 02:00 CET. A missing 02:30 runs at 03:00,
        // a repeated one the first time only.
        {"week All 02:30/3600", "2023-03-25 02:30:01", ">", "2023-03-26 01:00Z"},
        {"week All 02:30/3600", "2023-03-26 01:00:01Z", ">", "2023-03-27 02:30"},
        {"week All 02:30/3600", "2023-10-28 02:30:01", ">", "2023-10-29 00:30Z"},
        {"week All 02:30/3600", "2023-10-29 00:30:01Z", ">", "2023-10-30 02:30"},
        {"week Sunday 02:30/3600", "2023-03-26 01:00Z", ">", "2023-03-26 01:00Z"},
        {"week Sunday 02:30/3600", "2023-03-26 01:30Z", "in", "yes"},
        {"week Sunday 02:30/3600", "2023-03-26 00:59:59Z", "in", "no"},
        {"week Sunday 02:30/3600", "2023-10-29 01:15Z", ">", "2023-11-05 02:30"},
        {"week Sunday 02:30/3600", "2023-10-29 01:15Z", "in", "yes"},
        {"week Sunday 02:30/3600", "2023-10-29 00:45Z", "off", "2023-10-29 01:30:01Z"},
        {"dates dates.cfg 02:30/600", "2023-03-25 00:00", ">", "2023-03-26 01:00Z"},
        {"dates dates.cfg 02:30/600", "2023-03-26 01:00Z", ">", "2023-10-29 00:30Z"},
        {"every 1 Hours", "2023-03-26 01:30", ">", "2023-03-26 01:30Z"},
        {"every 1 Days", "2023-03-25 02:30", ">", "2023-03-26 01:00Z"},
        {"every 1 Days", "2023-10-28 02:30", ">", "2023-10-29 00:30Z"},
    };
    for (const auto &[words, fromText, opText, expected] : rows) {
        SCOPED_TRACE(std::string(words) + " " + opText + " " + fromText);
        const ScheduleElement element = rule(words);
        const QDateTime from = at(fromText);
        const QString op = QString::fromLatin1(opText);
        if (op == QLatin1String("in"))
            EXPECT_EQ(element.contains(from), QLatin1String(expected) == QLatin1String("yes"));
        else if (op == QLatin1String("off"))
            EXPECT_EQ(element.moveOutside(from), at(expected));
        else
            EXPECT_EQ(element.nextRunTime(from, op == QLatin1String(">=")), at(expected));
    }
}

// `traced`: part of the rule's trace lines joined by "|" (%1 the home).
TEST_F(TimeRules, ReadingAndRefusing)
{
    const std::tuple<const char *, bool, const char *> rows[] = {
        {"week Sunday Last", true, "Day: Sunday Weeks      Last From 00:00:00 to 23:59:59"},
        {"week First 08:00", true, "Day: Sunday Weeks 1      From 08:00:00 to 08:00:00"},
        {"<WeekDays><Days><Monday>false</Monday></Days></WeekDays>", false, "Invalid DaysOfWeek"},
        {"week Monday Sixth", false, "Invalid Week days schedule element"},
        {"week monday", false, "Invalid Week days schedule element"},
        {"<WeekDays><Days type=\"list\"/></WeekDays>", false, "Invalid Week days"},
        {"<WeekDays><Days><Monday>yes</Monday></Days></WeekDays>", false, "not a bool"},
        {"<WeekDays><Days>Monday</Days></WeekDays>", false, "WeekDays/Days is not a list|Invalid"},
        {"<WeekDays><Days/></WeekDays>", false, "WeekDays/Days is not a list"},
        {"<WeekDays><WeekNumbers>Last</WeekNumbers></WeekDays>", false, "WeekNumbers is not"},
        {"month 1 Last 23:00/7200", true, "Month day: Last From 23:00:00 To 00:59:59"},
        {"<MonthlyDays><entry name=\"15\">1</entry></MonthlyDays>", true, "Month day: 15"},
        {"month 01", false, "Invalid DaysOfMonth for schedule element"},
        {"month 0 32", false, "Invalid DaysOfMonth for schedule element"},
        {"<MonthlyDays><entry name=\"3\">often</entry></MonthlyDays>", false, "not a bool"},
        {"dates bad.cfg", true, "Passed over Calendar/Date[4] of %1/rules/1/bad.cfg - not a text"},
        {"dates bad.cfg", true, "Got invalid date 2023-03-01"},
        {"dates none.cfg", true, ""},
        {"dates missing.cfg", false, "Failed to read calendar file %1/rules/1/missing.cfg"},
        {"dates broken.cfg", false, "Failed to read calendar file %1/rules/1/broken.cfg"},
        {"dates nodates.cfg", false, "Failed to read dates from calendar file %1"},
        {"dates text.cfg", false, "Failed to read dates from calendar file"},
        {"dates ../2/dates.cfg", false, "Invalid Calendar for schedule element"},
        {"dates missing.cfg <WeekDays><Days><All>true</All></Days></WeekDays>", false, "Invalid"},
        {"manual Before_upgrade_2", true, ""},
        {"<ManualTrigger><Name>Nightly</Name></ManualTrigger>", false, "no activation name"},
        {"<ManualTrigger><ActivationName type=\"uint\">7</ActivationName></ManualTrigger>", false,
         "Passed over ManualTrigger/ActivationName - not a text|Manual trigger XML contains no"},
        {"<ManualTrigger><ActivationName></ActivationName></ManualTrigger>", false,
         "Refused an empty activation name"},
        {"every 4 Hours", true, ""},
        {"every 0 Hours", false, "Invalid RepeatPeriod for schedule element"},
        {"every 3 Fortnights", false, "Invalid RepeatPeriod for schedule element"},
        {"<Time>08:00</Time>", false, "Schedule element contains no known date/time data"},
        {"Untyped week <Type>trigger</Type>", false, "Unknown schedule element type: trigger"},
        {"Untyped week", false, ""},
    };
    for (const auto &[words, valid, traced] : rows) {
        SCOPED_TRACE(words);
        TraceCapture reading;
        EXPECT_EQ(rule(words).isValid(), valid);
        EXPECT_TRUE(reading.texts().join('|').contains(
            QString::fromLatin1(traced).replace("%1", home.path())));
    }
}

// What a rule answers when asked on its own, as the tools ask it: no time,
// and a level-2 line saying why (its words restate the code, so any will do).
TEST_F(TimeRules, EachRuleRefusesWhatItCannotAnswer)
{
    const QDateTime t = at("2023-11-01 10:00");
    const DaysOfWeek week(body("week Monday")), noWeek(body("week monday"));
    const DaysOfMonth month(body("month 1")), noMonth(body("month 0"));
    const Calendar dates(body("dates dates.cfg"), 1), noDates(body("dates missing.cfg"), 1);
    const RepeatPeriod period(RepeatPeriod::Days, 1), noPeriod(RepeatPeriod::Days, 0);
    const std::function<QDateTime()> asks[] = {
        [&] { return noWeek.nextRunTime(t, false); },
        [&] { return noWeek.nextStartTime(t); },
        [&] { return week.nextRunTime(QDateTime(), true); },
        [&] { return week.nextStartTime(QDateTime()); },
        [&] { return noMonth.nextRunTime(t, true); },
        [&] { return month.nextStartTime(QDateTime()); },
        [&] { return noDates.nextRunTime(t, false); },
        [&] { return noDates.nextStartTime(t); },
        [&] { return dates.nextStartTime(QDateTime()); },
        [&] { return dates.nextRunTime(t, false); }, // past its last date
        [&] { return noPeriod.nextRunTime(t, true); },
        [&] { return period.nextRunTime(QDateTime(), true); },
        [&] { return RepeatPeriod(body("")).nextRunTime(t, true); },
        [&] { return ManualTrigger(XmlList()).isValid() ? t : QDateTime(); },
        [&] { return ManualTrigger(body("week")).isValid() ? t : QDateTime(); },
        [&] { return ScheduleElement(RepeatPeriod::Hours, 0, 1).nextRunTime(t, true); },
    };
    for (size_t i = 0; i < std::size(asks); ++i) {
        TraceCapture faults(2);
        EXPECT_FALSE(asks[i]().isValid()) << "row " << i;
        EXPECT_FALSE(faults.texts().isEmpty()) << "row " << i;
    }
    EXPECT_FALSE(noMonth.nextStartTime(t).isValid());
    EXPECT_FALSE(noMonth.contains(t));
    EXPECT_EQ(noWeek.moveOutside(t), t); // an invalid rule opens no window
    EXPECT_EQ(dates.windowStarts().size(), 7);
}

TEST_F(TimeRules, ManualTriggersMatchTheirNameIgnoringCaseOnly)
{
    const ManualTrigger trigger(body("manual Weekly_Full"));
    for (const char *name : {"Weekly Full", "WEEKLY FULL", "weekly full"})
        EXPECT_TRUE(trigger.matches(QString::fromLatin1(name))) << name;
    for (const char *name : {"Weekly Full ", "Weekly", "", "WeeklyFull"})
        EXPECT_FALSE(trigger.matches(QString::fromLatin1(name))) << name;
}
