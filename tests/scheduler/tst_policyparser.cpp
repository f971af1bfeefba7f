#include "policyparser.h"
#include "rulesettestsupport.h"

using namespace RuleText;

TEST(ObjectiveTest, SplitsAtBlanksIntoCountAndUnit)
{
    const struct
    {
        const char *text;
        quint32 unit;
        quint32 count;
    } cases[] = {{"4 Hours", 3, 4},
                 {"2  Hours ", 3, 2},
                 {"  1 Seconds", 1, 1},
                 {"5", 0, 0},
                 {"4\tHours", 0, 0},
                 {"4 Hours daily", 0, 0},
                 {"five Minutes", 2, 0},
                 {"+5 Seconds", 1, 0},
                 {"4294967296 Seconds", 1, 0},
                 {"4294967295 Seconds", 1, 4294967295u},
                 {"3 minutes", 0, 3}};
    for (const auto &c : cases) {
        const PolicyParser::Objective objective = PolicyParser::parseObjective(c.text);
        EXPECT_EQ(objective.unit, c.unit) << c.text;
        EXPECT_EQ(objective.count, c.count) << c.text;
    }
}

namespace {

class PolicyTest : public RuleSetTest
{
protected:
    // Parses one policy record of rule set 1.
    static QList<Schedule> parse(const QByteArray &record)
    {
        return PolicyParser(1, nullptr).parsePolicy(Orvel::XmlList::fromText(record, "test"));
    }

    static QStringList policyTraces(const TraceCapture &from)
    {
        QStringList found;
        for (int i = 0; i < from.lines().size(); ++i) {
            if (from.lines().at(i).contains(" policyparser:"))
                found << from.texts().at(i);
        }
        return found;
    }
    QStringList policyTraces() const { return policyTraces(trace); }
};

} // namespace

TEST_F(PolicyTest, EachKindGivesItsTriggerTargetAndTheScheduleData)
{
    // Cdp is read like Backup (see the test of every operation list).
    const std::pair<const char *, QString> cases[] = {
        {"Backup",
         "<list><SchedulerTriggerService type=\"bool\">true</SchedulerTriggerService>"
         "<SchedulerTriggerProcess type=\"text\">Distributor</SchedulerTriggerProcess>"
         "<SchedulerTriggerGroup type=\"text\">Distributor</SchedulerTriggerGroup>"
         "<SchedulerTriggerType type=\"text\">Backup event</SchedulerTriggerType></list>"},
        {"LocalSnapshot",
         "<list><SchedulerTriggerService type=\"bool\">false</SchedulerTriggerService>"
         "<SchedulerTriggerProcess type=\"text\">quenrod.exe</SchedulerTriggerProcess>"
         "<SchedulerTriggerType type=\"text\">Snapshot event</SchedulerTriggerType></list>"}};
    for (const auto &[kind, target] : cases) {
        SCOPED_TRACE(kind);
        TraceCapture parsing;
        const QList<Schedule> made =
            parse(policy("Gold", "12", operation(kind, "Nightly", "3", "4 Hours"), "Async"));
        ASSERT_EQ(made.size(), 1);
        EXPECT_EQ(made.first().name(), QStringLiteral("Gold-12-Nightly-3"));
        EXPECT_EQ(QString::fromUtf8(made.first().triggerTarget().toBinary()), target);
        EXPECT_EQ(
            QString::fromUtf8(made.first().eventData().toBinary()),
            QStringLiteral("<list><Policy type=\"text\">Gold</Policy><RuleId "
                           "type=\"uint\">12</RuleId><Operation type=\"text\">Nightly</Operation>"
                           "<OperationId type=\"uint\">3</OperationId><CommsMode "
                           "type=\"text\">Async</CommsMode></list>"));
        EXPECT_TRUE(made.first().isValid());
        EXPECT_EQ(made.first().nextOccurrence(), Orvel::Clock::now());
        EXPECT_EQ(policyTraces(parsing),
                  QStringList({"Add backup schedule Gold-12-Nightly-3 RPO only"}));
    }
}

TEST_F(PolicyTest, AddsASchedulePerUsableObjective)
{
    // Without an objective or with an unknown unit nothing is added; a count
    // of 0 adds a schedule that never fires.
    const struct
    {
        const char *objective; // null: no entry
        bool added;
        bool valid;
    } cases[] = {{nullptr, false, false},
                 {"3 minutes", false, false},
                 {"0 Hours", true, false},
                 {"2  Hours ", true, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.objective ? c.objective : "none");
        TraceCapture parsing;
        const QList<Schedule> made =
            parse(policy("Gold", "1", operation("Backup", "B", "1", c.objective)));
        ASSERT_EQ(made.size(), c.added ? 1 : 0);
        if (c.added) {
            EXPECT_EQ(made.first().isValid(), c.valid);
            EXPECT_EQ(made.first().nextOccurrence().isValid(), c.valid);
            EXPECT_EQ(policyTraces(parsing),
                      QStringList({"Add backup schedule Gold-1-B-1 RPO only"}));
        } else {
            EXPECT_EQ(policyTraces(parsing),
                      QStringList({"Invalid Recovery point objective in policyrules"}));
            EXPECT_TRUE(parsing.lines().last().contains(" 0 policyparser:"));
        }
    }
}

TEST_F(PolicyTest, AFileAndAnObjectiveGiveTheFilesTriggersPlusTheRepeatPeriod)
{
    home.write("rules/1/nightly.xml",
               "<schedule><ScheduleElement><Type>Trigger</Type><WeekDays><Days><All>true</All>"
               "</Days><WeekNumbers><All>true</All></WeekNumbers></WeekDays><Time>13:00</Time>"
               "<Duration>60</Duration></ScheduleElement><ScheduleData><Own>x</Own></ScheduleData>"
               "</schedule>");
    QList<Schedule> made =
        parse(policy("Gold", "1", operation("Backup", "B", "1", " 4   Hours ", "nightly.xml")));
    ASSERT_EQ(made.size(), 1);
    EXPECT_EQ(policyTraces(),
              QStringList({"Add backup schedule Gold-1-B-1 Schedule file nightly.xml"}));
    // The policy's data replaces the file's own.
    EXPECT_FALSE(made.first().eventData().toBinary().contains("Own"));
    Schedule schedule = made.first();
    const QDateTime noon = Orvel::Clock::now();
    schedule.markOccurred(noon);
    EXPECT_EQ(schedule.nextOccurrence(), noon.addSecs(3600)); // the file's 13:00
    schedule.markOccurred(noon.addSecs(3600));
    // 13:00 plus 4 hours (searched from just after the firing at a window start)
    EXPECT_EQ(schedule.nextOccurrence().toSecsSinceEpoch(),
              noon.addSecs(5 * 3600).toSecsSinceEpoch());
}

TEST_F(PolicyTest, AFileWithoutObjectiveRestsOnTheFileAlone)
{
    home.write("rules/1/manual.xml",
               "<schedule><ScheduleElement><Type>Trigger</Type><ManualTrigger><ActivationName>"
               "Now</ActivationName></ManualTrigger></ScheduleElement></schedule>");
    const QList<Schedule> made =
        parse(policy("Gold", "1", operation("LocalSnapshot", "S", "2", nullptr, "manual.xml")));
    ASSERT_EQ(made.size(), 1);
    EXPECT_EQ(made.first().manualTriggerNames(), QStringList({"Now"}));
    EXPECT_EQ(policyTraces(),
              QStringList({"Invalid Recovery point objective in policyrules",
                           "Add backup schedule Gold-1-S-2 Schedule file manual.xml"}));
}

TEST_F(PolicyTest, ABadFileFallsBackToTheObjective)
{
    home.write("rules/1/empty.xml", "<schedule/>");
    home.write("rules/1/broken.xml", "<schedule><ScheduleElement>");
    home.write("outside.xml", "<schedule><ScheduleElement><Type>Trigger</Type><ManualTrigger>"
                              "<ActivationName>x</ActivationName></ManualTrigger>"
                              "</ScheduleElement></schedule>");
    const QString invalidObjective = "Invalid Recovery point objective in policyrules";
    const struct
    {
        const char *file;
        const char *objective;
        QStringList traces;
        bool added;
    } cases[] = {
        // The objective alone makes the schedule of a missing file valid.
        {"missing.xml",
         "1 Hours",
         {"Add backup schedule Gold-1-B-1 Schedule file missing.xml"},
         true},
        {"empty.xml",
         "x Hours",
         {"Invalid backup schedule for policy Gold RuleId 1 Schedule empty.xml",
          "Add backup schedule Gold-1-B-1 RPO only"},
         true},
        {"broken.xml",
         "3 minutes",
         {invalidObjective, "Invalid backup schedule for policy Gold RuleId 1 Schedule broken.xml",
          invalidObjective},
         false},
        {"../outside.xml",
         nullptr,
         {invalidObjective,
          "Invalid backup schedule for policy Gold RuleId 1 Schedule ../outside.xml",
          invalidObjective},
         false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        TraceCapture parsing;
        const QList<Schedule> made =
            parse(policy("Gold", "1", operation("Backup", "B", "1", c.objective, c.file)));
        EXPECT_EQ(made.size(), c.added ? 1 : 0);
        EXPECT_EQ(policyTraces(parsing), c.traces);
    }
}

TEST_F(PolicyTest, ARecordWithoutNameOrFirstRuleIsSkippedWhole)
{
    EXPECT_TRUE(parse(policy("Gold", nullptr, operation("Backup", "B", "1", "1 Hours"))).isEmpty());
    EXPECT_EQ(policyTraces(), QStringList({"Attempt to parse policy with no name or rule id"}));
    EXPECT_TRUE(parse("<Policy><FirstRule>1</FirstRule>" +
                      operation("Backup", "B", "1", "1 Hours") + "</Policy>")
                    .isEmpty());
}

TEST_F(PolicyTest, EveryOperationListGivesItsOwnScheduleOthersAreIgnored)
{
    const QList<Schedule> made = parse(policy(
        "Gold", "12",
        operation("Backup", "B", "1", "1 Hours") + operation("LocalSnapshot", "S", "1", "1 Hours") +
            operation("Backup", "B", "1", "1 Hours") + operation("Replicate", "R", "1", "1 Hours") +
            "<Cdp>not a list</Cdp>" + operation("Cdp", nullptr, nullptr, "1 Hours"),
        ""));
    QStringList names;
    for (const Schedule &schedule : made)
        names << schedule.name();
    EXPECT_EQ(names, QStringList({"Gold-12-B-1", "Gold-12-S-1", "Gold-12-B-1", "Gold-12--0"}));
    for (const Schedule &schedule : made)
        EXPECT_FALSE(schedule.eventData().toBinary().contains("CommsMode"));
}
