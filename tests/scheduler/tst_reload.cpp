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

using ReloadTest = RuleSetTest;

TEST_F(ReloadTest, LoadsThePoliciesTheNodeImplements)
{
    const QByteArray gold = dispatcher({"Gold"});
    const struct
    {
        QByteArray dispatcher; // null: no file
        QByteArray policies;   // null: no file
        QStringList schedules;
        const char *traced;
    } cases[] = {
        {{}, {}, {}, "Failed to open the dispatcher rules"},
        {"<rules><ReplicationStream>",
         policyRules(kGoldRecord),
         {},
         "Failed to open the dispatcher rules"},
        {"<rules/>", policyRules(kGoldRecord), {}, "No dispatcher rules"},
        {"<rules><BackupStream><Policies><Policy>Gold</Policy></Policies></BackupStream></rules>",
         policyRules(kGoldRecord),
         {},
         "dispatcherrules.cfg contains streams containing 0 policies"},
        {gold, {}, {}, "Failed to open the policy rules"},
        {gold, "<rules/>", {}, "No policy rules"},
        // A record twice, one not implemented, one without a name.
        {gold,
         policyRules(kGoldRecord + kSilverRecord + kGoldRecord +
                     "<Policy><FirstRule>3</FirstRule></Policy>"),
         {"Gold-1-B-1", "Gold-1-B-1"},
         "Parse policy rules for 1 locally implemented policies"},
        // Entries of the wrong type are skipped.
        {"<rules><ReplicationStream>Gold</ReplicationStream><SnapshotStream><Policies><Policy "
         "type=\"uint\">5</Policy><Policy></Policy><Other>Silver</Other><Policy>Gold</Policy>"
         "</Policies></SnapshotStream><SnapshotStream><Policies>Silver</Policies>"
         "</SnapshotStream></rules>",
         policyRules("<Policy>Gold</Policy>" + kGoldRecord + kSilverRecord),
         {"Gold-1-B-1"},
         "dispatcherrules.cfg contains streams containing 1 policies"},
    };
    quint32 ruleSet = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.traced);
        writeRules(++ruleSet, c.dispatcher, c.policies);
        TraceCapture reading;
        ScheduleList list;
        list.reload(ruleSet);
        EXPECT_EQ(scheduleNames(list), c.schedules);
        EXPECT_TRUE(reloadTraces(reading).contains(c.traced))
            << reloadTraces(reading).join('\n').toStdString();
    }
}

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
    const QDir examples(QStringLiteral(ORVEL_SOURCE_DIR "/examples/home/rules/3"));
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
