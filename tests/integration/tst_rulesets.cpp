// A rule set announced to the real scheduler by the stand-in node manager: a
// firing is stored across a restart.

#include "bustest.h"

TEST_F(BusTest, ARestartKeepsWhatFired)
{
    writeFile("home/rules/3/dispatcherrules.cfg",
              "<r><ReplicationStream><Policies><Policy>Gold</Policy></Policies></ReplicationStream>"
              "</r>");
    writeFile("home/rules/3/policyrules.cfg",
              "<r><Policy><Policy>Gold</Policy><FirstRule>1</FirstRule><Backup><Name>B</Name>"
              "<RecoveryPointObjective>1 Hours</RecoveryPointObjective></Backup></Policy></r>");
    start("standin-distributor", {});
    start("standin-nodemanager", {"--rules-id", "3"});
    const auto fired = [&] { return text("event.log").count("Policy 'Gold'"); };
    QProcess *scheduler = start("scheduler", {});
    ASSERT_TRUE(eventually([&]() { return fired() == 1; }));
    scheduler->terminate();
    expectExit(scheduler, 0);

    // Its next firing an hour ahead, the restarted one waits the longest wait;
    // a firing again would have come before.
    start("scheduler", {});
    ASSERT_TRUE(eventually([&]() { return text("trace.log").count("Set timer for 900") >= 2; }));
    EXPECT_EQ(fired(), 1);
}
