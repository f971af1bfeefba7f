// A rule set announced to the real scheduler on a private bus: events reach a
// listening distributor, snapshots start a program, and new rule sets replace
// the old ones across restarts. (A manual trigger over the bus is in the
// operator tests, through schedctl.)

#include "bustest.h"

namespace {

const char kAnnounce[] = "NodeMgrNotifyRulesIdPost";

// A policy record with one operation list.
QByteArray policy(const char *name, const char *rule, const char *kind, const char *operation,
                  const QByteArray &entries)
{
    return QByteArray("<Policy><Policy>") + name + "</Policy><FirstRule>" + rule + "</FirstRule><" +
           kind + "><Name>" + operation + "</Name><OperationId>1</OperationId>" + entries + "</" +
           kind + "></Policy>";
}

QByteArray objective(const char *text)
{
    return QByteArray("<RecoveryPointObjective>") + text + "</RecoveryPointObjective>";
}

class RuleSetBusTest : public BusTest
{
protected:
    // Rule set `n` of the given policy records; every named policy is local.
    void writeRuleSet(int n, const QStringList &names, const QByteArray &records)
    {
        QByteArray dispatcher = "<rules><ReplicationStream><Policies>";
        for (const QString &name : names)
            dispatcher += "<Policy>" + name.toUtf8() + "</Policy>";
        dispatcher += "</Policies></ReplicationStream></rules>";
        writeFile(QStringLiteral("home/rules/%1/dispatcherrules.cfg").arg(n), dispatcher);
        writeFile(QStringLiteral("home/rules/%1/policyrules.cfg").arg(n),
                  "<rules>" + records + "</rules>");
    }

    void announce(int n)
    {
        EXPECT_EQ(runToEnd("orvelmsg", {"post", "Scheduler", "Scheduler", kAnnounce,
                                        QStringLiteral("<b><RulesId>%1</RulesId></b>").arg(n)}),
                  0);
    }

    // How often `item` occurs in what the distributor received so far.
    int eventsWith(const QString &item)
    {
        distributor->waitForReadyRead(kPollMs);
        events += QString::fromUtf8(distributor->readAll());
        return events.count(item);
    }

    QString events;
};

const QString kGoldEvent =
    QStringLiteral("SchedulerEventPost <list><Policy type=\"text\">Gold</Policy><RuleId "
                   "type=\"uint\">1</RuleId><Operation type=\"text\">B</Operation><OperationId "
                   "type=\"uint\">1</OperationId></list>");

} // namespace

TEST_F(RuleSetBusTest, ATwoSecondObjectiveFiresRepeatedlyWithTheExactBody)
{
    writeRuleSet(3, {"Gold"}, policy("Gold", "1", "Backup", "B", objective("2 Seconds")));
    runningScheduler();
    announce(3);
    EXPECT_TRUE(eventually([&]() { return eventsWith(kGoldEvent + '\n') >= 3; }))
        << events.toStdString();
    EXPECT_EQ(events.count("SchedulerEventPost"), events.count(kGoldEvent + '\n'));
}

TEST_F(RuleSetBusTest, ALocalSnapshotStartsTheProgramWithTenArguments)
{
    writeFile("quenrod.exe", "#!/bin/sh\ncd \"$(dirname \"$0\")\"\n"
                             "printf '%s\\n' \"$#\" \"$@\" > args.tmp && mv args.tmp args.txt\n");
    QFile::setPermissions(dir.filePath("quenrod.exe"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeRuleSet(3, {"Gold"}, policy("Gold", "7", "LocalSnapshot", "Snap", objective("1 Hours")));
    runningScheduler();
    announce(3);
    ASSERT_TRUE(eventually([&]() { return !text("args.txt").isEmpty(); }));
    EXPECT_EQ(text("args.txt"), "10\n-r\n3\n-p\nGold\n-i\n7\n-o\nSnap\n-s\n1\n");
    EXPECT_TRUE(traceHas("Spawning success: quenrod.exe"));
    EXPECT_EQ(eventsWith("SchedulerEventPost"), 0);
}

TEST_F(RuleSetBusTest, ANewRuleSetReplacesTheOldAndRulesIdZeroStopsAllFiring)
{
    writeRuleSet(3, {"Gold"}, policy("Gold", "1", "Backup", "B", objective("1 Seconds")));
    writeRuleSet(4, {"Silver"}, policy("Silver", "2", "Cdp", "C", objective("1 Seconds")));
    runningScheduler();
    announce(3);
    ASSERT_TRUE(eventually([&]() { return eventsWith("Gold") >= 2; }));
    announce(4);
    ASSERT_TRUE(eventually([&]() { return eventsWith("Silver") >= 2; })) << events.toStdString();
    const int gold = eventsWith("Gold");
    announce(0);
    ASSERT_TRUE(traceHas("Node deactivated. Cleared schedule list"));
    QThread::msleep(300); // let events posted before the deactivation arrive
    const int silver = eventsWith("Silver");
    QThread::msleep(2000);
    EXPECT_EQ(eventsWith("Silver"), silver);
    EXPECT_EQ(eventsWith("Gold"), gold);
}

TEST_F(RuleSetBusTest, ARestartDoesNotFireAgainWhatIsStillAhead)
{
    writeRuleSet(3, {"Gold"}, policy("Gold", "1", "Backup", "B", objective("1 Hours")));
    QProcess *scheduler = runningScheduler();
    announce(3);
    ASSERT_TRUE(eventually([&]() { return eventsWith(kGoldEvent) == 1; }));
    scheduler->terminate();
    ASSERT_TRUE(scheduler->waitForFinished(kPatienceMs));
    EXPECT_EQ(scheduler->exitCode(), 0);

    startScheduler();
    announce(3);
    ASSERT_TRUE(eventually([&]() { return text("trace.log").count("Set timer for 900") >= 2; }));
    QThread::msleep(300);
    EXPECT_EQ(eventsWith(kGoldEvent), 1) << events.toStdString();
}
