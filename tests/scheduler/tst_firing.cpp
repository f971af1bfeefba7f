#include "rulesettestsupport.h"

#include "msgnames.h"

#include <QDir>
#include <QFile>

#include <functional>

using namespace RuleText;
using Orvel::XmlList;

namespace {

const QString kTimer = QStringLiteral("SchedulerTimer");
const QString kGoldData = QStringLiteral(
    "<list><Policy type=\"text\">Gold</Policy><RuleId type=\"uint\">12</RuleId><Operation "
    "type=\"text\">Nightly</Operation><OperationId type=\"uint\">3</OperationId>");

XmlList rulesId(quint32 n)
{
    XmlList body;
    body.set(QStringLiteral("RulesId"), n, XmlList::Replace);
    return body;
}

class FiringTest : public RuleSetTest
{
protected:
    ~FiringTest() override { QDir::setCurrent(previousDirectory); }

    // Runs the list with its handlers registered; `steps` plays the peers.
    void serve(const std::function<void()> &steps)
    {
        bool done = false;
        bus.setIdleHook([&]() {
            if (!done)
                steps();
            done = true;
            bus.shutDown();
        });
        list.run();
    }

    // Announces rule set `n` and lets the 1 ms timer run the first pass.
    void announce(quint32 n)
    {
        bus.deliver(QStringLiteral("NodeMgrNotifyRulesIdPost"), rulesId(n));
        EXPECT_EQ(bus.armedMs(kTimer), 1);
        bus.advance(1);
    }

    QList<Orvel::MemoryTransport::Posted> events() const
    {
        QList<Orvel::MemoryTransport::Posted> found;
        for (const auto &post : bus.posted()) {
            if (post.name == QLatin1String("SchedulerEventPost"))
                found << post;
        }
        return found;
    }

    // The working directory holds `program` (executable or not).
    void writeProgram(bool executable)
    {
        QDir::setCurrent(home.path());
        QFile file(home.path() + "/quenrod.exe");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }

    QString previousDirectory = QDir::currentPath();
    ScheduleList list;
};

} // namespace

TEST_F(FiringTest, ABackupPostsItsEventToTheDistributorAndLogsIt)
{
    writeRules(4, dispatcher({"Gold"}),
               policyRules(policy("Gold", "12", operation("Backup", "Nightly", "3", "2 Seconds"),
                                  "Async")));
    LogCapture log;
    serve([&]() {
        announce(4);
        bus.advance(2000);
    });
    const auto posted = events();
    ASSERT_EQ(posted.size(), 2);
    for (const auto &post : posted) {
        EXPECT_EQ(post.to, Orvel::MsgAddress("Distributor", "Distributor"));
        EXPECT_EQ(QString::fromUtf8(post.body.toBinary()),
                  kGoldData + "<CommsMode type=\"text\">Async</CommsMode></list>");
    }
    EXPECT_EQ(log.lines().filter("Backup 1"),
              QStringList({"Backup 1 Backup event: Policy 'Gold', operation 'Nightly'",
                           "Backup 1 Backup event: Policy 'Gold', operation 'Nightly'"}));
    EXPECT_TRUE(trace.contains("Schedule triggered: Data " + kGoldData +
                               "<CommsMode type=\"text\">Async</CommsMode></list>"));
    EXPECT_EQ(bus.armedMs(kTimer), 2000);
}

TEST_F(FiringTest, ASnapshotStartsTheProgramWithTheTenArguments)
{
    writeProgram(true);
    writeRules(
        4, dispatcher({"Gold"}),
        policyRules(policy("Gold", "12", operation("LocalSnapshot", "Snap", "3", "1 Hours"))));
    serve([&]() { announce(4); });
    ASSERT_EQ(bus.started().size(), 1);
    EXPECT_EQ(bus.started().first().program, QDir(home.path()).absoluteFilePath("quenrod.exe"));
    EXPECT_EQ(bus.started().first().arguments,
              QStringList({"-r", "4", "-p", "Gold", "-i", "12", "-o", "Snap", "-s", "3"}));
    EXPECT_TRUE(events().isEmpty());
    EXPECT_TRUE(trace.contains("Spawning success: quenrod.exe"));
}

struct SpawnFailureCase
{
    bool present;
    bool executable;
    const char *traced;
};

class SpawnFailureTest : public FiringTest, public ::testing::WithParamInterface<SpawnFailureCase>
{
};

TEST_P(SpawnFailureTest, IsTracedAndTheScheduleStillMovesOn)
{
    const SpawnFailureCase c = GetParam();
    if (c.present)
        writeProgram(c.executable);
    else
        QDir::setCurrent(home.path());
    writeRules(
        4, dispatcher({"Gold"}),
        policyRules(policy("Gold", "12", operation("LocalSnapshot", "Snap", "3", "1 Hours"))));
    serve([&]() { announce(4); });
    EXPECT_TRUE(bus.started().isEmpty());
    EXPECT_TRUE(trace.contains(QString::fromUtf8(c.traced)))
        << trace.texts().join('\n').toStdString();
    EXPECT_EQ(list.scheduleList().first().lastOccurrence(),
              QDateTime(QDate(2026, 3, 10), QTime(12, 0)));
    EXPECT_TRUE(bus.isArmed(kTimer));
}

INSTANTIATE_TEST_SUITE_P(
    Firing, SpawnFailureTest,
    ::testing::Values(SpawnFailureCase{false, false,
                                       "Spawning failed: quenrod.exe file not found or invalid"},
                      SpawnFailureCase{true, false, "Spawning failed: quenrod.exe 13"}));

TEST_F(FiringTest, AProcessTriggerWithoutRuleOrOperationIdPassesZero)
{
    writeProgram(true);
    Schedule schedule(QStringLiteral("Hand-made"), 4, nullptr, false);
    XmlList data;
    data.set(QStringLiteral("Policy"), QStringLiteral("Gold"), XmlList::Replace);
    data.set(QStringLiteral("Operation"), QStringLiteral("Snap"), XmlList::Replace);
    schedule.setScheduleData(data);
    XmlList target;
    target.set(QStringLiteral("SchedulerTriggerService"), false, XmlList::Replace);
    target.set(QStringLiteral("SchedulerTriggerProcess"), QStringLiteral("quenrod.exe"),
               XmlList::Replace);
    schedule.setTriggerTarget(target);
    list.fireSchedule(schedule);
    ASSERT_EQ(bus.started().size(), 1);
    EXPECT_EQ(bus.started().first().arguments,
              QStringList({"-r", "0", "-p", "Gold", "-i", "0", "-o", "Snap", "-s", "0"}));
    const QStringList traced = trace.lines().filter("has no RuleId or OperationId");
    ASSERT_EQ(traced.size(), 1);
    EXPECT_TRUE(traced.first().contains(" 2 schedulelist:"));
    EXPECT_TRUE(
        traced.first().endsWith("Schedule Hand-made has no RuleId or OperationId: passing 0"));
}

struct TargetCase
{
    const char *target;
    bool posted;
};

class TriggerTargetTest : public FiringTest, public ::testing::WithParamInterface<TargetCase>
{
};

TEST_P(TriggerTargetTest, AServiceNeedsProcessAndGroup)
{
    const TargetCase c = GetParam();
    Schedule schedule(QStringLiteral("S"), 4, nullptr, false);
    schedule.setTriggerTarget(XmlList::fromText(c.target, QStringLiteral("test")));
    LogCapture log;
    list.fireSchedule(schedule);
    EXPECT_EQ(events().size(), c.posted ? 1 : 0);
    if (c.posted) {
        EXPECT_EQ(events().first().to, Orvel::MsgAddress("Dist", "Group"));
    }
    EXPECT_TRUE(log.lines().isEmpty()); // no policy in the data
}

INSTANTIATE_TEST_SUITE_P(
    Firing, TriggerTargetTest,
    ::testing::Values(
        TargetCase{"<t><SchedulerTriggerProcess>Dist</SchedulerTriggerProcess>"
                   "<SchedulerTriggerGroup>Group</SchedulerTriggerGroup></t>",
                   true},
        TargetCase{"<t><SchedulerTriggerProcess>Dist</SchedulerTriggerProcess></t>", false},
        TargetCase{"<t><SchedulerTriggerGroup>Group</SchedulerTriggerGroup></t>", false},
        TargetCase{"<t><SchedulerTriggerService>false</SchedulerTriggerService></t>", false}));

TEST_F(FiringTest, RulesIdZeroCancelsAndClearsEverything)
{
    writeRules(4, dispatcher({"Gold"}),
               policyRules(policy("Gold", "12", operation("Backup", "Nightly", "3", "1 Hours"))));
    serve([&]() {
        announce(4);
        ASSERT_EQ(list.scheduleList().size(), 1);
        bus.deliver(QStringLiteral("NodeMgrNotifyRulesIdPost"));
        EXPECT_TRUE(list.scheduleList().isEmpty());
        EXPECT_EQ(bus.armedMs(kTimer), 1);
        bus.clearCaptured();
        bus.advance(3600 * 1000);
    });
    EXPECT_TRUE(events().isEmpty());
    EXPECT_FALSE(bus.isArmed(kTimer));
    EXPECT_TRUE(trace.contains("Node deactivated. Cleared schedule list"));
    EXPECT_TRUE(trace.contains("Received rules set notify message:\\n <list><RulesId "
                               "type=\"uint\">4</RulesId></list>"));
}

TEST_F(FiringTest, ANewRuleSetReplacesTheOld)
{
    writeRules(4, dispatcher({"Gold"}),
               policyRules(policy("Gold", "12", operation("Backup", "Nightly", "3", "1 Hours"))));
    writeRules(5, dispatcher({"Silver"}),
               policyRules(policy("Silver", "2", operation("Cdp", "Cont", "1", "1 Hours"))));
    serve([&]() {
        announce(4);
        announce(5);
        announce(5);
    });
    EXPECT_EQ(scheduleNames(list), QStringList({"Silver-2-Cont-1"}));
    EXPECT_TRUE(trace.contains("Load new rule set 5"));
    // Reloading the same rule set does not fire again what has just fired.
    ASSERT_EQ(events().size(), 2);
    EXPECT_TRUE(events().last().body.toBinary().contains("Silver"));
}

TEST_F(FiringTest, AManualTriggerFiresMatchingSchedulesAtOnceAndReplies)
{
    home.write("rules/4/manual.xml",
               "<schedule><ScheduleElement><Type>Trigger</Type><ManualTrigger><ActivationName>"
               "Weekly Full</ActivationName></ManualTrigger></ScheduleElement></schedule>");
    writeRules(
        4, dispatcher({"Gold", "Silver"}),
        policyRules(
            policy("Gold", "12", operation("Backup", "Nightly", "3", nullptr, "manual.xml")) +
            policy("Silver", "2", operation("Backup", "B", "1", nullptr, "manual.xml"))));
    XmlList request;
    request.set(QStringLiteral("ActivationName"), QStringLiteral("weekly FULL"), XmlList::Replace);
    request.set(QStringLiteral("UserTag"), QStringLiteral("tag 1"), XmlList::Replace);
    Orvel::Msg reply;
    serve([&]() {
        announce(4);
        EXPECT_TRUE(events().isEmpty());
        reply = bus.deliverRequest(QStringLiteral("SchedulerManualTriggerRequest"), request);
    });
    EXPECT_EQ(reply.name(), QStringLiteral("SchedulerManualTriggerReply"));
    EXPECT_EQ(QString::fromUtf8(reply.body().toBinary()),
              QStringLiteral("<list><ActivationName type=\"text\">weekly FULL</ActivationName>"
                             "<ActivationCount type=\"int\">2</ActivationCount></list>"));
    ASSERT_EQ(events().size(), 2);
    EXPECT_EQ(
        QString::fromUtf8(events().first().body.toBinary()),
        kGoldData +
            "<TriggerData type=\"list\"><ManualTrigger type=\"text\">Weekly "
            "Full</ManualTrigger><UserTag type=\"text\">tag 1</UserTag></TriggerData></list>");
    EXPECT_TRUE(trace.contains("Trigger manual backups: weekly FULL"));
}

struct NoMatchCase
{
    const char *request;
    const char *reply;
};

class ManualNoMatchTest : public FiringTest, public ::testing::WithParamInterface<NoMatchCase>
{
};

TEST_P(ManualNoMatchTest, IsAnsweredWithCountZero)
{
    const NoMatchCase c = GetParam();
    writeRules(4, dispatcher({"Gold"}),
               policyRules(policy("Gold", "12", operation("Backup", "Nightly", "3", "1 Hours"))));
    Orvel::Msg reply;
    serve([&]() {
        announce(4);
        bus.clearCaptured();
        reply = bus.deliverRequest(QStringLiteral("SchedulerManualTriggerRequest"),
                                   XmlList::fromText(c.request, QStringLiteral("test")));
    });
    EXPECT_EQ(QString::fromUtf8(reply.body().toBinary()), QString::fromUtf8(c.reply));
    EXPECT_TRUE(events().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Firing, ManualNoMatchTest,
    ::testing::Values(
        NoMatchCase{"<r/>", "<list><ActivationName type=\"text\"></ActivationName><ActivationCount "
                            "type=\"int\">0</ActivationCount></list>"},
        NoMatchCase{"<r><ActivationName>Unknown</ActivationName></r>",
                    "<list><ActivationName type=\"text\">Unknown</ActivationName><ActivationCount "
                    "type=\"int\">0</ActivationCount></list>"}));

TEST_F(FiringTest, TheListReplyHoldsEveryActivationNameWithItsEventData)
{
    home.write("rules/4/manual.xml",
               "<schedule><ScheduleElement><Type>Trigger</Type><ManualTrigger><ActivationName>"
               "Full</ActivationName></ManualTrigger></ScheduleElement><ScheduleElement><Type>"
               "Trigger</Type><ManualTrigger><ActivationName>1 st</ActivationName></ManualTrigger>"
               "</ScheduleElement></schedule>");
    writeRules(
        4, dispatcher({"Gold", "Silver", "Tin"}),
        policyRules(policy("Gold", "1", operation("Backup", "G", "1", "1 Hours", "manual.xml")) +
                    policy("Silver", "2", operation("Backup", "S", "1", "1 Hours")) +
                    policy("Tin", "3", operation("Backup", "T", "1", nullptr, "manual.xml"))));
    Orvel::Msg empty;
    Orvel::Msg reply;
    serve([&]() {
        empty = bus.deliverRequest(QStringLiteral("SchedulerListManualTriggersRequest"));
        bus.deliver(QStringLiteral("NodeMgrNotifyRulesIdPost"), rulesId(4));
        reply = bus.deliverRequest(QStringLiteral("SchedulerListManualTriggersRequest"));
    });
    EXPECT_EQ(empty.name(), QStringLiteral("SchedulerListManualTriggersReply"));
    EXPECT_TRUE(empty.body().isEmpty());
    EXPECT_EQ(reply.name(), QStringLiteral("SchedulerListManualTriggersReply"));
    // Gold comes first (due now), then Silver (due now, no manual trigger), then
    // Tin, which only a request can make due; each name once per schedule.
    const QString gold = QStringLiteral(
        "<Policy type=\"text\">Gold</Policy><RuleId type=\"uint\">1</RuleId><Operation "
        "type=\"text\">G</Operation><OperationId type=\"uint\">1</OperationId>");
    const QString tin = QStringLiteral(
        "<Policy type=\"text\">Tin</Policy><RuleId type=\"uint\">3</RuleId><Operation "
        "type=\"text\">T</Operation><OperationId type=\"uint\">1</OperationId>");
    EXPECT_EQ(QString::fromUtf8(reply.body().toBinary()),
              "<list><Full type=\"list\">" + gold + "</Full><entry name=\"1 st\" type=\"list\">" +
                  gold + "</entry><Full type=\"list\">" + tin +
                  "</Full><entry name=\"1 st\" type=\"list\">" + tin + "</entry></list>");
    EXPECT_TRUE(trace.contains("Request for manual triggers returning: " +
                               QString::fromUtf8(reply.body().toBinary())));
}
