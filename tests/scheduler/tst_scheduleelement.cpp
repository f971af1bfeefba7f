// Schedule elements and the schedule file: roles, kinds, data, and what is
// skipped when an entry is bad.
#include "repeatperiod.h"
#include "scheduletestsupport.h"

using namespace Elements;
using Orvel::XmlList;
using Role = ScheduleElement::Role;
using Kind = ScheduleElement::Kind;

namespace {

XmlList body(const QString &inner)
{
    return XmlList::fromText("<ScheduleElement>" + inner.toUtf8() + "</ScheduleElement>", "test");
}

} // namespace

using ElementTest = ScheduleTest;

TEST_F(ElementTest, ReadsRoleKindAndData)
{
    // `traced`: the element's level-2 line, which comes after the rule's own.
    const auto expectElement = [](const char *what, const QString &entries, Role role, Kind kind,
                                  bool hasData, const char *traced = "") {
        SCOPED_TRACE(what);
        TraceCapture levelTwo(2);
        const ScheduleElement element(body(entries), 1);
        EXPECT_EQ(element.role(), role);
        EXPECT_EQ(element.kind(), kind);
        EXPECT_EQ(element.isValid(), role != Role::None && kind != Kind::None);
        EXPECT_EQ(!element.data().isEmpty(), hasData);
        EXPECT_EQ(levelTwo.texts().isEmpty() ? QString() : levelTwo.texts().last(), traced);
    };
    const QString week = "<WeekDays><Days><All>true</All></Days></WeekDays>";
    expectElement("trigger with data", daily("Trigger", "08:00", 60, "x"), Role::Trigger,
                  Kind::DaysOfWeek, true);
    expectElement("exclusion ignores trigger data",
                  "<Type>Exclude</Type><TriggerData><a>1</a></TriggerData>" + week, Role::Exclusion,
                  Kind::DaysOfWeek, false);
    expectElement("TriggerFallback reads as a fallback",
                  "<Type>TriggerFallback</Type><FallbackData><a>1</a></FallbackData>" + week,
                  Role::Fallback, Kind::DaysOfWeek, true);
    expectElement("lower-case type is unknown", "<Type>trigger</Type>" + week, Role::None,
                  Kind::DaysOfWeek, false, "Unknown schedule element type: trigger");
    expectElement("no type, silently invalid", week, Role::None, Kind::DaysOfWeek, false);
    expectElement("month days win over week days",
                  "<Type>Trigger</Type>" + week + "<MonthlyDays><Last>true</Last></MonthlyDays>",
                  Role::Trigger, Kind::DaysOfMonth, false);
    expectElement("a failed calendar hides week days",
                  "<Type>Trigger</Type><Calendar>missing.cfg</Calendar>" + week, Role::Trigger,
                  Kind::None, false, "Invalid Calendar for schedule element");
    expectElement("no rule at all", "<Type>Trigger</Type><Time>08:00</Time>", Role::Trigger,
                  Kind::None, false, "Schedule element contains no known date/time data");
    // A readable calendar of another rule set: only its name keeps it out.
    home.write("rules/2/dates.cfg", "<c><Calendar><Date>20261207</Date></Calendar></c>");
    expectElement("a calendar outside the rules folder",
                  "<Type>Trigger</Type><Calendar>../2/dates.cfg</Calendar>", Role::Trigger,
                  Kind::None, false, "Invalid Calendar for schedule element");
    expectElement("manual trigger without a name",
                  "<Type>Trigger</Type><ManualTrigger type=\"list\"/>", Role::Trigger, Kind::None,
                  false, "Invalid ManualTrigger for schedule element");
}

TEST_F(ElementTest, ManualTriggerAndInvalidElementsAnswerNothing)
{
    const ScheduleElement manualTrigger(body(manual("Nightly")), 1);
    const QDateTime t = at(2026, 12, 7, 8, 0);
    ASSERT_TRUE(manualTrigger.isValid());
    EXPECT_EQ(manualTrigger.nextRunTime(t, true), QDateTime());
    EXPECT_FALSE(manualTrigger.contains(t));
    EXPECT_EQ(manualTrigger.moveOutside(t), QDateTime());
    EXPECT_EQ(manualTrigger.activationName(), QStringLiteral("Nightly"));
    EXPECT_TRUE(manualTrigger.matches(QStringLiteral("nIGHTLY")));

    TraceCapture levelTwo(2);
    const ScheduleElement zeroPeriod(RepeatPeriod::Hours, 0, 1);
    EXPECT_EQ(zeroPeriod.role(), Role::Trigger);
    EXPECT_FALSE(zeroPeriod.isValid());
    EXPECT_EQ(zeroPeriod.nextRunTime(QDateTime(), true), QDateTime());
    EXPECT_EQ(levelTwo.texts(), QStringList({"Invalid RepeatPeriod for schedule element",
                                             "Cannot get next run time for invalid element"}));
}

using ScheduleFileTest = ScheduleTest;

TEST_F(ScheduleFileTest, FilesElementsByRoleAndSkipsBadOnes)
{
    home.write(QStringLiteral("rules/1/s.xml"),
               "<schedule><ScheduleElement>text, not a list</ScheduleElement>"
               "<ScheduleElement>" +
                   daily("Exclude", "07:00", 60).toUtf8() +
                   "</ScheduleElement>"
                   "<ScheduleElement><Type>Trigger</Type></ScheduleElement>"
                   "<ScheduleElement>" +
                   daily("Trigger", "08:00", 60, "x").toUtf8() +
                   "</ScheduleElement>"
                   "<Other>ignored</Other></schedule>");
    Schedule s = schedule(QStringLiteral("s.xml"));
    EXPECT_TRUE(s.isValid());
    EXPECT_EQ(s.eventData(), XmlList()); // no ScheduleData, no occurrence yet
    s.initiateSchedule();
    EXPECT_EQ(s.nextOccurrence(), at(2026, 12, 7, 8, 0));
    EXPECT_EQ(s.eventData().toBinary(),
              QByteArray("<list><TriggerData type=\"list\"><Slot>x</Slot></TriggerData></list>"));
}

TEST_F(ScheduleFileTest, UnusableFilesGiveAnInvalidScheduleThatSaysWhy)
{
    home.write(QStringLiteral("rules/1/empty.xml"), "<schedule/>");
    writeScheduleFile(QStringLiteral("lower.xml"),
                      {"<Type>trigger</Type><WeekDays><Days><All>true</All></Days></WeekDays>"});
    writeScheduleFile(QStringLiteral("exclusions.xml"), {daily("Exclude", "07:00", 60)});
    home.write(QStringLiteral("rules/2/s.xml"), "<s><ScheduleElement>" +
                                                    daily("Trigger", "08:00", 60).toUtf8() +
                                                    "</ScheduleElement></s>");
    home.write(QStringLiteral("rules/1/sub/x"), "");
    const QString rules = home.path() + QStringLiteral("/rules/1/");
    const struct
    {
        const char *file;
        QString trace;
    } cases[] = {
        {"missing.xml", "Failed to open the schedule file " + rules + "missing.xml"},
        {"empty.xml", "Empty schedule file " + rules + "empty.xml"},
        {"lower.xml", "Unknown schedule element type: trigger"},
        {"exclusions.xml", QString()},
        {"../1/s.xml", "Failed to open the schedule file ../1/s.xml"},
        {"/etc/hostname", "Failed to open the schedule file /etc/hostname"},
        {"sub/../../2/s.xml", "Failed to open the schedule file sub/../../2/s.xml"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        TraceCapture levelTwo(2);
        Schedule s = schedule(QString::fromUtf8(c.file));
        EXPECT_FALSE(s.isValid());
        s.initiateSchedule();
        s.markOccurred(at(2026, 12, 7, 8, 0));
        EXPECT_EQ(s.nextOccurrence(), QDateTime());
        EXPECT_EQ(s.lastOccurrence(), QDateTime());
        EXPECT_TRUE(c.trace.isEmpty() || levelTwo.contains(c.trace))
            << levelTwo.texts().join('\n').toStdString();
    }
    EXPECT_TRUE(store->isEmpty());
}

TEST_F(ScheduleFileTest, RuleSetZeroOpensNothing)
{
    writeScheduleFile(QStringLiteral("s.xml"), {daily("Trigger", "08:00", 60)});
    TraceCapture levelTwo(2);
    Schedule s(QStringLiteral("n"), QStringLiteral("s.xml"), 0, store.get(), true);
    EXPECT_FALSE(s.isValid());
    EXPECT_EQ(levelTwo.texts(), QStringList({"Rules inactive: Rule set 0"}));
}
