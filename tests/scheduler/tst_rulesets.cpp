// A rule set read into schedules: the policies this node implements, each
// policy's operations, their objectives and schedule files.
#include "config.h"
#include "policyparser.h"
#include "rulesetloader.h"
#include "schedtest.h"
#include "schedulelist.h"

#include <tuple>

using Orvel::XmlList;
using Rules::operation;
using Rules::policy;

namespace {

class RuleSets : public SchedulerTest
{
protected:
    // The names of the schedules of rule set 1, in the list's order.
    static QStringList names(const QList<Schedule> &schedules)
    {
        QStringList found;
        for (const Schedule &schedule : schedules)
            found << schedule.name();
        return found;
    }
    // The schedules of one policy record of rule set 1.
    static QList<Schedule> parse(const QByteArray &record)
    {
        return PolicyParser(1, nullptr).parsePolicy(parsed(record));
    }
};

const QByteArray kGold = policy("Gold", "1", operation("Backup", "B", "1", "1 Hours"));
const QByteArray kSilver = policy("Silver", "2", operation("Backup", "B", "1", "1 Hours"));

} // namespace

TEST(Objective, SplitsAtBlanksIntoACountAndAnExactUnit)
{
    const std::tuple<const char *, quint32, quint32> rows[] = {
        {"4 Seconds", 1, 4},
        {"4 Minutes", 2, 4},
        {"2  Hours ", 3, 2},
        {"  1 Days", 4, 1},
        {"1 Weeks", 5, 1},
        {"1 Months", 6, 1},
        {"1 Years", 7, 1},
        {"5", 0, 0},
        {"4\tHours", 0, 0},
        {"4 Hours daily", 0, 0},
        {"five Minutes", 2, 0},
        {"+5 Seconds", 1, 0},
        {"4294967296 Seconds", 1, 0},
        {"4294967295 Seconds", 1, 4294967295u},
        {"3 minutes", 0, 3},
        {"3 Minute", 0, 3},
        {"3 Fortnights", 0, 3},
    };
    for (const auto &[text, unit, count] : rows) {
        const PolicyParser::Objective objective = PolicyParser::parseObjective(text);
        EXPECT_EQ(objective.unit, unit) << text;
        EXPECT_EQ(objective.count, count) << text;
    }
}

TEST_F(RuleSets, LoadsThePoliciesTheNodeImplements)
{
    const QByteArray gold = Rules::dispatcher({"Gold"});
    const std::tuple<QByteArray, QByteArray, const char *, const char *> rows[] = {
        {"<r/>", Rules::policyRules(kGold), "", "No dispatcher rules"},
        {"<r><BackupStream><Policies><Policy>Gold</Policy></Policies></BackupStream></r>",
         Rules::policyRules(kGold), "",
         "dispatcherrules.cfg contains streams containing 0 policies"},
        {gold, "<r/>", "", "No policy rules"},
        // Another entry first, a record twice, one not implemented, one without a name.
        {gold,
         Rules::policyRules("<Version>2</Version>" + kGold + kSilver + kGold +
                            "<Policy><FirstRule>3</FirstRule></Policy>"),
         "Gold-1-B-1 Gold-1-B-1", "Parse policy rules for 1 locally implemented policies"},
        // Entries of the wrong shape are passed over.
        {"<r><ReplicationStream>Gold</ReplicationStream><SnapshotStream><Policies><Policy "
         "type=\"uint\">5</Policy><Policy></Policy><Other>Silver</Other><Policy>Gold</Policy>"
         "</Policies></SnapshotStream><SnapshotStream><Policies>Silver</Policies></"
         "SnapshotStream></r>",
         Rules::policyRules("<Policy>Gold</Policy>" + kGold + kSilver), "Gold-1-B-1",
         "dispatcherrules.cfg contains streams containing 1 policies"},
        // Streams and remote nodes naming a policy again count it once.
        {"<r><ReplicationStream><Policies><Policy>Gold</Policy></Policies></ReplicationStream>"
         "<SnapshotStream><Policies><Policy>Gold</Policy></"
         "Policies><RemotePolicies><NodeA><Policies>"
         "<Policy>Silver</Policy><Policy>Gold</Policy></Policies></NodeA><NodeC><Policies><Policy>"
         "</Policy></Policies></NodeC></RemotePolicies></SnapshotStream></r>",
         Rules::policyRules(kSilver + kGold), "Gold-1-B-1 Silver-2-B-1",
         "dispatcherrules.cfg contains streams containing 2 policies"},
    };
    quint32 ruleSet = 10;
    for (const auto &[dispatcher, policies, schedules, traced] : rows) {
        SCOPED_TRACE(traced);
        const QString folder = QStringLiteral("rules/%1/").arg(++ruleSet);
        home.write(folder + "dispatcherrules.cfg", dispatcher);
        home.write(folder + "policyrules.cfg", policies);
        TraceCapture reading;
        ScheduleList list;
        list.reload(ruleSet);
        EXPECT_EQ(names(list.scheduleList()).join(' '), schedules);
        EXPECT_TRUE(reading.contains(QLatin1String(traced)));
    }
}

// The policy rules are parsed while a thread reads them. A file that turns
// out not to be plain XML is read whole and parsed again, as if nothing had
// been done before: its schedules, store and trace lines are those of its
// twin, the plain one or the one that breaks at once. Seventeen records are
// more than the reader hands over in its first batch.
TEST_F(RuleSets, PolicyRulesThatAreNotPlainLoadAsIfReadWhole)
{
    QByteArray golds;
    for (int i = 0; i < 17; ++i)
        golds += kGold;
    const std::pair<QByteArray, QByteArray> rows[] = {
        {golds + "<!-- a comment -->" + kSilver, golds + kSilver},
        {golds + "<Note>caf\xc3\xa9</Note>", golds},
        {golds + "<Policy>", "<Policy>"},
        {golds + "<Policy>&</Policy>", "<Policy>&</Policy>"},
    };
    writeRuleSet(2, {"Gold", "Silver"}, QByteArray());
    for (const auto &[records, twin] : rows) {
        SCOPED_TRACE(records.right(30).constData());
        QStringList seen[2];
        for (QStringList &outcome : seen) {
            home.write("rules/2/policyrules.cfg",
                       Rules::policyRules(&outcome == seen ? records : twin));
            TraceCapture reading;
            Orvel::Config times;
            const QList<Schedule> made = RuleSetLoader::load(2, &times);
            outcome << names(made).join(' ') << QString::fromUtf8(times.toBinary());
            for (const QString &line : reading.texts(2)) {
                if (!line.contains(QLatin1String("policyrules.cfg")))
                    outcome << line;
            }
        }
        EXPECT_EQ(seen[0], seen[1]);
    }
}

// Backups and continuous protection post to the distributor, snapshots start
// the snapshot program; the event data names the policy and operation.
TEST_F(RuleSets, EachOperationKindGivesItsTargetAndTheEventData)
{
    const std::pair<const char *, const char *> rows[] = {
        {"Backup", "true Distributor Distributor Backup event"},
        {"Cdp", "true Distributor Distributor Backup event"},
        {"LocalSnapshot", "false quenrod.exe  Snapshot event"},
    };
    const XmlList data = parsed(
        "<l><Policy type=\"text\">Gold</Policy><RuleId type=\"uint\">12</RuleId><Operation type="
        "\"text\">Nightly</Operation><OperationId type=\"uint\">3</OperationId><CommsMode type="
        "\"text\">Async</CommsMode></l>");
    for (const auto &[kind, target] : rows) {
        SCOPED_TRACE(kind);
        const QList<Schedule> made =
            parse(policy("Gold", "12", operation(kind, "Nightly", "3", "4 Hours"), "Async"));
        ASSERT_EQ(names(made), QStringList({"Gold-12-Nightly-3"}));
        QStringList shown; // as the distributor or the spawn reads them
        for (const char *key : {"Service", "Process", "Group", "Type"})
            shown << valueAt(made.first().triggerTarget(),
                             QStringLiteral("SchedulerTrigger") + key);
        EXPECT_EQ(shown.join(' '), target);
        EXPECT_EQ(made.first().eventData(), data);
    }
    EXPECT_EQ(
        valueAt(
            parse(policy("Gold", "1", operation("Cdp", "N", "3", "4 Hours"))).first().eventData(),
            "CommsMode"),
        QString());
}

// Without a usable objective the schedule file alone decides; a bad file
// falls back on the objective; a count of 0 with a known unit lists a
// schedule that never fires. The parser's lines: the documented trace table.
TEST_F(RuleSets, AnOperationRestsOnItsFileItsObjectiveOrBoth)
{
    write("nightly.xml",
          Rules::scheduleFile({"week 13:00/60"}, "<ScheduleData><Own>x</Own></ScheduleData>"));
    write("manual.xml", Rules::scheduleFile({"manual Now"}));
    write("empty.xml", "<schedule/>");
    write("broken.xml", "<schedule><ScheduleElement>");
    home.write("outside.xml", Rules::scheduleFile({"manual x"}));
    const std::tuple<const char *, const char *, const char *> rows[] = {
        // next null: no schedule
        {nullptr, nullptr, nullptr},
        {"3 minutes", nullptr, nullptr},
        {"0 Hours", nullptr, "never"},
        {"2  Hours ", nullptr, "2026-12-07 07:00"},
        {" 4   Hours ", "nightly.xml", "2026-12-07 07:00"},
        {nullptr, "manual.xml", "never"},
        {"1 Hours", "missing.xml", "2026-12-07 07:00"},
        {"x Hours", "empty.xml", "never"},
        {"3 minutes", "broken.xml", nullptr},
        {nullptr, "../outside.xml", nullptr},
    };
    for (const auto &[objective, file, next] : rows) {
        SCOPED_TRACE(std::string(objective ? objective : "-") + " " + (file ? file : "-"));
        const QList<Schedule> made =
            parse(policy("Gold", "1", operation("Backup", "B", "1", objective, file)));
        ASSERT_EQ(made.size(), next ? 1 : 0);
        EXPECT_EQ(made.value(0).nextOccurrence(), at(next ? next : "never"));
    }
    // The file's triggers and the objective together; the policy's data replaces the file's.
    Schedule both =
        parse(policy("Gold", "1", operation("Backup", "B", "1", "4 Hours", "nightly.xml"))).first();
    EXPECT_EQ(valueAt(both.eventData(), "Own"), QString());
    both.markOccurred(at("2026-12-07 07:00"));
    EXPECT_EQ(both.nextOccurrence(), at("2026-12-07 11:00"));
    both.markOccurred(at("2026-12-07 11:00"));
    EXPECT_EQ(both.nextOccurrence(), at("2026-12-07 13:00"));
    // A file read once for two operations still traces for each of them.
    const qsizetype before = trace.texts().filter("Empty schedule file").size();
    parse(policy("Gold", "1",
                 operation("Backup", "A", "1", nullptr, "empty.xml") +
                     operation("Backup", "B", "2", nullptr, "empty.xml")));
    EXPECT_EQ(trace.texts().filter("Empty schedule file").size(), before + 2);
}

TEST_F(RuleSets, EveryOperationListGivesItsOwnScheduleARecordWithoutNameOrFirstRuleNone)
{
    EXPECT_EQ(names(parse(policy("Gold", "12",
                                 operation("Backup", "B", "1", "1 Hours") +
                                     operation("LocalSnapshot", "S", "1", "1 Hours") +
                                     operation("Backup", "B", "1", "1 Hours") +
                                     operation("Replicate", "R", "1", "1 Hours") +
                                     "<Cdp>not a list</Cdp>" +
                                     operation("Cdp", nullptr, nullptr, "1 Hours")))),
              QStringList({"Gold-12-B-1", "Gold-12-S-1", "Gold-12-B-1", "Gold-12--0"}));
    TraceCapture parsing;
    EXPECT_TRUE(parse(policy("Gold", nullptr, operation("Backup", "B", "1", "1 Hours"))).isEmpty());
    EXPECT_TRUE(
        parse("<P><FirstRule>1</FirstRule>" + operation("Backup", "B", "1", "1 Hours") + "</P>")
            .isEmpty());
    EXPECT_EQ(parsing.texts(2), QStringList(2, "Attempt to parse policy with no name or rule id"));
}
