// Rule sets announced to the real scheduler by the stand-in node manager: a
// firing is stored across a restart, and the rule set the stand-in announces
// again on SIGHUP replaces the old one.

#include "bustest.h"

#include <signal.h>

TEST_F(BusTest, ARestartKeepsWhatFiredAndAHangupAnnouncesTheNextRuleSet)
{
    for (const char *set : {"3", "4"}) {
        const QByteArray policy = set == QByteArray("3") ? "Gold" : "Silver";
        writeFile(QStringLiteral("home/rules/%1/dispatcherrules.cfg").arg(set),
                  "<r><ReplicationStream><Policies><Policy>" + policy +
                      "</Policy></Policies></ReplicationStream></r>");
        writeFile(QStringLiteral("home/rules/%1/policyrules.cfg").arg(set),
                  "<r><Policy><Policy>" + policy +
                      "</Policy><FirstRule>1</FirstRule><Backup><Name>B"
                      "</Name><RecoveryPointObjective>1 Hours</RecoveryPointObjective></Backup>"
                      "</Policy></r>");
    }
    writeFile("rulesid.xml", "<node><RulesId>3</RulesId></node>");
    start("standin-distributor", {});
    nodeManager = start("standin-nodemanager", {"--rules-id-file", "rulesid.xml"});
    const auto fired = [&](const char *policy) {
        return text("event.log").count(QStringLiteral("Policy '%1'").arg(policy));
    };
    QProcess *scheduler = start("scheduler", {});
    ASSERT_TRUE(eventually([&]() { return fired("Gold") == 1; }));
    scheduler->terminate();
    expectExit(scheduler, 0);

    // Its next firing an hour ahead, the restarted one waits the longest wait;
    // a firing again would have come before.
    start("scheduler", {});
    ASSERT_TRUE(eventually([&]() { return text("trace.log").count("Set timer for 900") >= 2; }));
    EXPECT_EQ(fired("Gold"), 1);

    writeFile("rulesid.xml", "<node><RulesId>4</RulesId></node>");
    ::kill(pid_t(nodeManager->processId()), SIGHUP);
    EXPECT_TRUE(eventually([&]() { return fired("Silver") == 1; }));
}
