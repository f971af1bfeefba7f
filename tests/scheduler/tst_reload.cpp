#include "rulesettestsupport.h"

#include <QDir>
#include <QFile>

using namespace RuleText;

namespace {

// The trace texts written by reload itself and by the dispatcher rules
// reader, in order.
QStringList reloadTraces(const TraceCapture &trace)
{
    QStringList found;
    const QStringList lines = trace.lines();
    const QStringList texts = trace.texts();
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains(" localpolicies:") || lines.at(i).contains(" schedulelist:") ||
            lines.at(i).contains(" rulesetloader:"))
            found << texts.at(i);
    }
    return found;
}

const QByteArray kGoldRecord = policy("Gold", "1", operation("Backup", "B", "1", "1 Hours"));
const QByteArray kSilverRecord = policy("Silver", "2", operation("Backup", "B", "1", "1 Hours"));

} // namespace

struct ReloadCase
{
    const char *what;
    const char *dispatcher; // null: no file
    QByteArray policies;    // null: no file
    QStringList schedules;
    QStringList traced;
    QStringList notTraced;
};

class ReloadTest : public RuleSetTest, public ::testing::WithParamInterface<ReloadCase>
{
};

TEST_P(ReloadTest, LoadsThePoliciesTheNodeImplements)
{
    const ReloadCase c = GetParam();
    writeRules(7, c.dispatcher ? QByteArray(c.dispatcher) : QByteArray(), c.policies);
    ScheduleList list;
    list.reload(7);
    EXPECT_EQ(scheduleNames(list), c.schedules);
    const QStringList traces = reloadTraces(trace);
    for (const QString &text : c.traced)
        EXPECT_TRUE(traces.contains(text)) << text.toStdString() << "\n"
                                           << traces.join('\n').toStdString();
    for (const QString &text : c.notTraced)
        EXPECT_FALSE(traces.join('\n').contains(text)) << text.toStdString();
    EXPECT_EQ(traces.first(), QStringLiteral("IN: ScheduleList::reload reload uiRuleSet = 7"));
    EXPECT_EQ(traces.last(), QStringLiteral("OUT: ScheduleList::reload reload uiRuleSet = 7"));
}

INSTANTIATE_TEST_SUITE_P(
    Reload, ReloadTest,
    ::testing::Values(
        ReloadCase{"no rules folder",
                   nullptr,
                   QByteArray(),
                   {},
                   {"Failed to open the dispatcher rules"},
                   {"policy rules", "contains streams"}},
        ReloadCase{"malformed dispatcher rules",
                   "<rules><ReplicationStream>",
                   policyRules(kGoldRecord),
                   {},
                   {"Failed to open the dispatcher rules"},
                   {"Parse policy"}},
        ReloadCase{"empty dispatcher file",
                   "",
                   policyRules(kGoldRecord),
                   {},
                   {"Failed to open the dispatcher rules"},
                   {"Parse policy"}},
        ReloadCase{"dispatcher rules without entries",
                   "<rules/>",
                   policyRules(kGoldRecord),
                   {},
                   {"No dispatcher rules"},
                   {"Parse policy"}},
        ReloadCase{"streams of other names",
                   "<rules><BackupStream><Policies><Policy>Gold</Policy>"
                   "</Policies></BackupStream></rules>",
                   QByteArray(),
                   {},
                   {"dispatcherrules.cfg contains streams containing 0 policies"},
                   {"Failed to open the policy rules", "Parse policy rules"}},
        ReloadCase{"no policy rules file",
                   "<rules><ReplicationStream><Policies><Policy>Gold"
                   "</Policy></Policies></ReplicationStream></rules>",
                   QByteArray(),
                   {},
                   {"Failed to open the policy rules"},
                   {"Parse policy Gold"}},
        ReloadCase{"malformed policy rules",
                   "<rules><ReplicationStream><Policies><Policy>Gold"
                   "</Policy></Policies></ReplicationStream></rules>",
                   "<rules><Policy>",
                   {},
                   {"Failed to open the policy rules"},
                   {"Parse policy Gold"}},
        ReloadCase{"policy rules without entries",
                   "<rules><ReplicationStream><Policies><Policy>"
                   "Gold</Policy></Policies></ReplicationStream></rules>",
                   "<rules/>",
                   {},
                   {"No policy rules"},
                   {"Parse policy Gold"}},
        ReloadCase{"a record parsed twice, one not implemented, one without a name",
                   "<rules><ReplicationStream><Policies><Policy>Gold</Policy></Policies>"
                   "</ReplicationStream></rules>",
                   policyRules(kGoldRecord + kSilverRecord + kGoldRecord +
                               "<Policy><FirstRule>3</FirstRule></Policy>"),
                   {"Gold-1-B-1", "Gold-1-B-1"},
                   {"Parse policy rules for 1 locally implemented policies", "Parse policy Gold"},
                   {"Parse policy Silver"}},
        ReloadCase{"entries of the wrong type are skipped",
                   "<rules><ReplicationStream>Gold</ReplicationStream><SnapshotStream><Policies>"
                   "<Policy type=\"uint\">5</Policy><Policy></Policy><Other>Silver</Other>"
                   "<Policy>Gold</Policy></Policies></SnapshotStream><SnapshotStream><Policies>"
                   "Silver</Policies></SnapshotStream></rules>",
                   policyRules("<Policy>Gold</Policy>" + kGoldRecord + kSilverRecord),
                   {"Gold-1-B-1"},
                   {"dispatcherrules.cfg contains streams containing 1 policies"},
                   {"Node implements 5", "Node implements Silver"}}),
    [](const ::testing::TestParamInfo<ReloadCase> &info) { return std::to_string(info.index); });

TEST_F(ReloadTest, APolicyNamedByStreamsAndRemoteNodesCountsOnce)
{
    writeRules(7,
               "<rules><ReplicationStream><Policies><Policy>Gold</Policy></Policies>"
               "</ReplicationStream><SnapshotStream><Policies><Policy>Gold</Policy></Policies>"
               "<RemotePolicies><NodeA><Policies><Policy>Silver</Policy><Policy>Gold</Policy>"
               "</Policies></NodeA><NodeB><Other/></NodeB><NodeC><Policies><Policy></Policy>"
               "</Policies></NodeC></RemotePolicies></SnapshotStream></rules>",
               policyRules(kSilverRecord + kGoldRecord));
    ScheduleList list;
    list.reload(7);
    EXPECT_EQ(
        reloadTraces(trace),
        QStringList({"IN: ScheduleList::reload reload uiRuleSet = 7", "Node implements Gold",
                     "Reading remote file system info...", "No remote file system info found",
                     "Reading remote file system info...", "Reading 3 nodes...",
                     "Node implements Silver", "Failed to find policies for remote node!",
                     "dispatcherrules.cfg contains streams containing 2 policies",
                     "Parse policy rules for 2 locally implemented policies", "Parse policy Silver",
                     "Parse policy Gold", "OUT: ScheduleList::reload reload uiRuleSet = 7"}));
    // Both are due now; equal times are ordered by name.
    EXPECT_EQ(scheduleNames(list), QStringList({"Gold-1-B-1", "Silver-2-B-1"}));
    const QStringList levels = trace.lines().filter("Failed to find policies");
    ASSERT_EQ(levels.size(), 1);
    EXPECT_TRUE(levels.first().contains(" 0 localpolicies:"));
}

TEST_F(ReloadTest, ReloadAppendsAndSortsByNextOccurrence)
{
    writeRules(7, dispatcher({"Gold", "Silver"}),
               policyRules(policy("Silver", "2", operation("Backup", "S", "1", "1 Hours")) +
                           policy("Gold", "1", operation("Backup", "G", "1", "1 Hours"))));
    ScheduleList list;
    list.reload(7);
    list.reload(7);
    EXPECT_EQ(scheduleNames(list),
              QStringList({"Gold-1-G-1", "Gold-1-G-1", "Silver-2-S-1", "Silver-2-S-1"}));
}

TEST_F(ReloadTest, TheDocumentedExampleRuleSetLoads)
{
    const QDir examples(QStringLiteral(ORVEL_SOURCE_DIR "/docs/examples/rules"));
    for (const QString &name : examples.entryList(QDir::Files)) {
        QFile file(examples.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        home.write("rules/1/" + name, file.readAll());
    }
    ScheduleList list;
    list.reload(1);
    // All are due at once on a first load; equal times are ordered by name.
    EXPECT_EQ(scheduleNames(list),
              QStringList({"Gold-12-Nightly-1", "Gold-12-Snap-2", "Silver-20-Continuous-1"}));
    EXPECT_EQ(list.scheduleList().first().manualTriggerNames(), QStringList({"Full now"}));
    EXPECT_FALSE(trace.texts().join('\n').contains("Invalid"));
    // Christmas is excluded for the continuous protection.
    Orvel::Clock::setNow(QDateTime(QDate(2026, 12, 25), QTime(9, 0)));
    list.reload(1);
    EXPECT_EQ(list.scheduleList().last().name(), QStringLiteral("Silver-20-Continuous-1"));
    EXPECT_EQ(list.scheduleList().last().nextOccurrence(),
              QDateTime(QDate(2026, 12, 27), QTime(0, 0, 1)));
}
