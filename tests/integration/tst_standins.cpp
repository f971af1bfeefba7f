// The stand-in peers on a private bus: the node manager answers the
// scheduler's registration and announces again on SIGHUP; the distributor
// prints what it receives.

#include "bustest.h"

#include <QRegularExpression>

#include <signal.h>

class StandinTest : public BusTest
{
protected:
    void writeRulesId(const QByteArray &id)
    {
        QFile file(dir.filePath("rulesid.xml"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("<node><RulesId>" + id + "</RulesId></node>");
    }
};

TEST_F(StandinTest, NodeManagerAnswersTheRegistrationAndReannouncesOnHangup)
{
    writeRulesId("1");
    QProcess *scheduler = listen("Scheduler");
    QProcess *nodeManager =
        start("standin-nodemanager", {"--rules-id-file", dir.filePath("rulesid.xml")});
    QString seen;
    ASSERT_TRUE(eventually([&]() {
        return runToEnd("orvelmsg", {"post", "NodeManager", "NodeManager",
                                     "NodeMgrRegisterNotifyRulesIdPost"}) == 0;
    }));
    EXPECT_TRUE(outputHas(
        scheduler, "NodeMgrNotifyRulesIdPost <list><RulesId type=\"uint\">1</RulesId>", &seen))
        << seen.toStdString();
    writeRulesId("2");
    ::kill(pid_t(nodeManager->processId()), SIGHUP);
    EXPECT_TRUE(outputHas(scheduler, "<RulesId type=\"uint\">2</RulesId>", &seen))
        << seen.toStdString();
}

TEST_F(StandinTest, DistributorPrintsTimeNameAndBody)
{
    QProcess *distributor = start("standin-distributor", {});
    ASSERT_TRUE(eventually([&]() {
        return runToEnd("orvelmsg", {"post", "Distributor", "Distributor", "SchedulerEventPost",
                                     "<b><Policy>Gold</Policy></b>"}) == 0;
    }));
    QString seen;
    EXPECT_TRUE(outputHas(distributor, "SchedulerEventPost <b><Policy>Gold</Policy></b>", &seen))
        << seen.toStdString();
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} SchedulerEventPost )")
                    .match(seen)
                    .hasMatch())
        << seen.toStdString();
}

TEST_F(StandinTest, NodeManagerRefusesBadArguments)
{
    for (const QStringList &arguments :
         {QStringList{}, QStringList{"--rules-id", "x"}, QStringList{"--rules-id"},
          QStringList{"--rules-id-file", dir.filePath("missing.xml")}}) {
        QString output;
        EXPECT_EQ(runToEnd("standin-nodemanager", arguments, &output), 2) << output.toStdString();
    }
}
