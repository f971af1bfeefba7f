#include "calendar.h"
#include "rulesupport.h"
#include "testsupport.h"

#include <gtest/gtest.h>

namespace {

constexpr quint32 kRuleSet = 4;

QByteArray calendarFile(const QByteArray &dates)
{
    return "<cfg><Calendar type=\"list\">" + dates + "</Calendar></cfg>";
}

// A calendar rule over `file` (written as rules/4/dates.cfg) with `window`.
Calendar calendarRule(const TempHome &home, const QByteArray &file, const char *window)
{
    home.write(QStringLiteral("rules/4/dates.cfg"), file);
    return Calendar(body((QByteArray("<Calendar>dates.cfg</Calendar>") + window).constData()),
                    kRuleSet);
}

// The starts a rule answers one after another from `from`.
QList<QDateTime> starts(const Calendar &rule, QDateTime from)
{
    QList<QDateTime> answers;
    for (QDateTime next = rule.nextStartTime(from); next.isValid(); next = rule.nextStartTime(next))
        answers << next;
    return answers;
}

} // namespace

TEST(CalendarReading, DatesAreSortedAndBadOnesSkipped)
{
    TempHome home;
    const QString path = home.path() + QStringLiteral("/rules/4/dates.cfg");
    struct
    {
        const char *name;
        QByteArray file;
        const char *window;
        QList<QDateTime> starts;
        QStringList traces;
    } const cases[] = {
        {"unsorted",
         calendarFile("<Date>20100312</Date><Date>20100105</Date>"),
         "<Time>22:00</Time><Duration>7200</Duration>",
         {local("2010-01-05 22:00:00"), local("2010-03-12 22:00:00")},
         {QStringLiteral("Trigger time 22:00:00 duration 7200 secs"),
          QStringLiteral("Read calendar file %1").arg(path),
          QStringLiteral("Date: 22:00:00 Fri March 12 2010 to 00:00:00 Sat March 13 2010"),
          QStringLiteral("Date: 22:00:00 Tue January 5 2010 to 00:00:00 Wed January 6 2010")}},
        {"bad dates skipped",
         calendarFile("<Date>20230230</Date><Date>2023-03-01</Date><Date>20230301</Date>"
                      "<Day>20230302</Day><Date type=\"uint\">20230303</Date>"),
         "",
         {local("2023-03-01 00:00:00")},
         {QStringLiteral("Trigger time 00:00:00 duration 86400 secs"),
          QStringLiteral("Read calendar file %1").arg(path),
          QStringLiteral("Got invalid date 20230230"),
          QStringLiteral("Got invalid date 2023-03-01"),
          QStringLiteral("Date: 00:00:00 Wed March 1 2023 to 00:00:00 Thu March 2 2023")}},
        {"no dates at all", calendarFile(""), "<Time>08:00</Time>", {}, {}},
    };
    for (const auto &c : cases) {
        TraceCapture trace;
        const Calendar rule = calendarRule(home, c.file, c.window);
        EXPECT_TRUE(rule.isValid()) << c.name;
        EXPECT_EQ(starts(rule, local("2000-01-01 00:00:00")), c.starts) << c.name;
        EXPECT_EQ(trace.texts().mid(0, c.traces.size()), c.traces) << c.name;
    }
}

TEST(CalendarReading, FailuresNameTheFile)
{
    TempHome home;
    const QString unreadable = "Failed to read calendar file " + home.path() + "/rules/4/dates.cfg";
    const QString noDates =
        "Failed to read dates from calendar file " + home.path() + "/rules/4/dates.cfg";
    const std::pair<QByteArray, QString> cases[] = {
        {"", unreadable},
        {"<cfg><Calendar>", unreadable},
        {"<cfg><Other/></cfg>", noDates},
        {"<cfg><Calendar>20230301</Calendar></cfg>", noDates}};
    for (const auto &[file, failure] : cases) {
        TraceCapture trace;
        EXPECT_FALSE(calendarRule(home, file, "").isValid()) << file.constData();
        EXPECT_TRUE(trace.contains(failure)) << trace.texts().join('|').toStdString();
    }
    TraceCapture trace;
    const Calendar missing(body("<Calendar>nowhere.cfg</Calendar>"), kRuleSet);
    EXPECT_FALSE(missing.isValid());
    EXPECT_TRUE(trace.contains(
        QStringLiteral("Failed to read calendar file %1/rules/4/nowhere.cfg").arg(home.path())));
    const Calendar unnamed(body("<Time>08:00</Time>"), kRuleSet);
    EXPECT_FALSE(unnamed.isValid());
    EXPECT_FALSE(Calendar(Orvel::XmlList(), kRuleSet).isValid());
}

TEST(CalendarSearch, StartsAreStrictAndDuplicatesPassedOver)
{
    TempHome home;
    const Calendar rule = calendarRule(
        home, calendarFile("<Date>20230301</Date><Date>20230301</Date><Date>20230310</Date>"),
        "<Time>08:00</Time><Duration>3600</Duration>");
    struct
    {
        const char *from;
        bool includeOpenWindow;
        const char *expected;
    } const cases[] = {
        {"2023-03-01 07:00:00", false, "2023-03-01 08:00:00"},
        {"2023-03-01 08:00:00", false, "2023-03-10 08:00:00"}, // strict, twice listed
        {"2023-03-01 08:30:00", true, "2023-03-01 08:30:00"},
        {"2023-03-01 09:00:00", true, "2023-03-10 08:00:00"},
        {"2023-03-10 08:00:00", false, ""},
        {"2023-03-10 08:00:00", true, "2023-03-10 08:00:00"},
        {"2024-01-01 00:00:00", true, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(rule.nextRunTime(local(c.from), c.includeOpenWindow), local(c.expected))
            << c.from << " " << c.includeOpenWindow;
}

TEST(CalendarWindows, ContainsAndMoveOutside)
{
    TempHome home;
    const Calendar nightly = calendarRule(home, calendarFile("<Date>20230301</Date>"),
                                          "<Time>22:00</Time><Duration>7200</Duration>");
    EXPECT_TRUE(nightly.contains(local("2023-03-01 23:30:00")));
    EXPECT_TRUE(nightly.contains(local("2023-03-01 22:00:00")));
    EXPECT_FALSE(nightly.contains(local("2023-03-02 00:00:00")));
    EXPECT_FALSE(nightly.contains(local("2023-03-01 21:59:59")));
    EXPECT_FALSE(nightly.contains(QDateTime()));

    const Calendar morning = calendarRule(home, calendarFile("<Date>20230301</Date>"),
                                          "<Time>08:00</Time><Duration>3600</Duration>");
    EXPECT_EQ(morning.moveOutside(local("2023-03-01 08:30:00")), local("2023-03-01 09:00:01"));
    // The window's end is already outside: the strict search does not find it again.
    EXPECT_EQ(morning.moveOutside(local("2023-03-01 09:00:00")), local("2023-03-01 09:00:00"));

    const Calendar backToBack =
        calendarRule(home, calendarFile("<Date>20230306</Date><Date>20230307</Date>"), "");
    EXPECT_EQ(backToBack.moveOutside(local("2023-03-06 10:00:00")), local("2023-03-08 00:00:01"));

    const Calendar instant = calendarRule(home, calendarFile("<Date>20230301</Date>"),
                                          "<Time>08:00</Time><Duration>0</Duration>");
    EXPECT_FALSE(instant.contains(local("2023-03-01 08:00:00")));
    EXPECT_EQ(instant.moveOutside(local("2023-03-01 08:00:00")), local("2023-03-01 08:00:01"));
}

TEST(CalendarRefusals, TraceLines)
{
    TempHome home;
    const Calendar invalid(body("<Calendar>nowhere.cfg</Calendar>"), kRuleSet);
    const Calendar empty = calendarRule(home, calendarFile(""), "");
    TraceCapture trace;
    EXPECT_FALSE(invalid.nextStartTime(local("2023-03-01 00:00:00")).isValid());
    EXPECT_FALSE(invalid.nextRunTime(local("2023-03-01 00:00:00"), false).isValid());
    EXPECT_FALSE(empty.nextStartTime(QDateTime()).isValid());
    EXPECT_FALSE(empty.nextRunTime(QDateTime(), false).isValid());
    EXPECT_FALSE(empty.nextRunTime(local("2023-03-01 00:00:00"), false).isValid());
    EXPECT_EQ(trace.texts(),
              QStringList({"Cannot get next start time for invalid Calendar",
                           "Cannot get next run time for invalid Calendar",
                           "Cannot get next start time for invalid time",
                           "Cannot get next run time for invalid time",
                           "Get next start time following 00:00:00 Wed March 1 2023",
                           "No next time available from 00:00:00 Wed March 1 2023"}));
}

TEST(CalendarDaylightSaving, DateOnTheChangeDays)
{
    TempHome home;
    const Calendar rule =
        calendarRule(home, calendarFile("<Date>20230326</Date><Date>20231029</Date>"),
                     "<Time>02:30</Time><Duration>600</Duration>");
    EXPECT_EQ(starts(rule, local("2023-01-01 00:00:00")),
              QList<QDateTime>({utc("2023-03-26 01:00:00"), utc("2023-10-29 00:30:00")}));
}
