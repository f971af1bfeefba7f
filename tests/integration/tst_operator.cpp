// The operator's tools against running programs: schedctl asking the
// scheduler over the bus, and scripts/demo end to end. What schedctl answers
// from the rules alone is in tst_schedctl.cpp.

#include "bustest.h"

#include <QDateTime>
#include <QRegularExpression>

TEST_F(BusTest, SchedctlListsAndFiresTheRunningSchedulersTriggers)
{
    useExamples();
    start("standin-nodemanager", {"--rules-id", "1"});
    QProcess *distributor = start("standin-distributor", {});
    start("scheduler", {});
    // It answers before the node manager's rule set is loaded.
    ASSERT_TRUE(
        eventually([&]() { return run("schedctl", {"triggers"}).out.contains("Full now"); }));
    expectSchedctlAnswers({
        {{"triggers", "--output", "json"}, 0, R"({"name":"Full now","operation":"Nightly")"},
        {{"trigger", "full NOW", "--tag", "before-upgrade"}, 0, "full NOW: 1 schedule made due\n"},
        {{"trigger", "No such trigger"}, 1, "No such trigger"},
    });
    QString seen;
    EXPECT_TRUE(outputHas(distributor, "<UserTag type=\"text\">before-upgrade</UserTag>", &seen))
        << seen.toStdString();
}

TEST_F(BusTest, TheDemoShowsEachKindOfFiringAndStopsEverything)
{
    environment = QProcessEnvironment::systemEnvironment(); // it starts its own bus and home
    // The example's quiet hour, 03:00 to 04:00, holds Silver back; during it
    // the demo runs in a zone eight hours on, where Silver fires.
    const QDateTime now = QDateTime::currentDateTime();
    if (now.time().hour() == 3 || now.addSecs(60).time().hour() == 3)
        environment.insert("TZ", "Asia/Tokyo");
    const Outcome demo = run(kSource + "/scripts/demo",
                             {"--seconds", "8", "--no-build", "--bin", kBin}, 2 * kPatienceMs);
    EXPECT_EQ(demo.code, 0) << demo.err.toStdString();
    for (const char *expected :
         {"Gold-10-Nightly-1", "Gold +Snap +snapshot program", "Full now: 1 schedule made due",
          "Gold +Nightly +manual: Full now", "demo: \\d+ firings in \\d+ s .*everything stopped"})
        EXPECT_TRUE(demo.out.contains(QRegularExpression(expected))) << expected << '\n'
                                                                     << demo.out.toStdString();
    // Silver's objective of 3 seconds fires again and again on the real timer.
    EXPECT_GE(demo.out.count(QRegularExpression("\\d\\d:\\d\\d:\\d\\d  Silver +Continuous +time")),
              2);
}
