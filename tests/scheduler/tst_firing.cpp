// What a firing does (the event posted, the program started) and the
// messages that change the schedule list, over the in-memory transport.
#include "rulesettestsupport.h"

#include "context.h"
#include "names.h"

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
const QByteArray kGoldHourly =
    policyRules(policy("Gold", "12", operation("Backup", "Nightly", "3", "1 Hours")));
// The largest rule id, to show that numbers reach the program unchanged.
const QByteArray kGoldSnapshot =
    policyRules(policy("Gold", "4294967295", operation("LocalSnapshot", "Snap", "3", "1 Hours")));

XmlList parsed(const QByteArray &text)
{
    return XmlList::fromText(text, QStringLiteral("test"));
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

    void notify(quint32 n)
    {
        bus.deliver(
            QStringLiteral("NodeMgrNotifyRulesIdPost"),
            parsed("<list><RulesId type=\"uint\">" + QByteArray::number(n) + "</RulesId></list>"));
    }
    // Announces rule set `n` and lets the 1 ms timer run the first pass.
    void announce(quint32 n)
    {
        notify(n);
        EXPECT_EQ(bus.armedMs(kTimer), 1);
        bus.advance(1);
    }

    Orvel::Msg trigger(const char *request)
    {
        return bus.deliverRequest(QStringLiteral("SchedulerManualTriggerRequest"), parsed(request));
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

    // The working directory holds the snapshot program, executable or not.
    QString writeProgram(bool executable)
    {
        QDir::setCurrent(home.path());
        QFile file(home.path() + "/quenrod.exe");
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        file.setPermissions(executable ? file.permissions() | QFileDevice::ExeOwner
                                       : QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return file.fileName();
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
        // Without an event log the event is still posted.
        Orvel::Context::setLoggingEnabled(false);
        bus.advance(2000);
        Orvel::Context::setLoggingEnabled(true);
    });
    const QString body = kGoldData + "<CommsMode type=\"text\">Async</CommsMode></list>";
    const auto posted = events();
    ASSERT_EQ(posted.size(), 3);
    for (const auto &post : posted) {
        EXPECT_EQ(post.to, Orvel::MsgAddress("Distributor", "Distributor"));
        EXPECT_EQ(QString::fromUtf8(post.body.toBinary()), body);
    }
    EXPECT_EQ(log.lines().filter("Backup 1"),
              QStringList({"Backup 1 Backup event: Policy 'Gold', operation 'Nightly'",
                           "Backup 1 Backup event: Policy 'Gold', operation 'Nightly'"}));
    EXPECT_TRUE(trace.contains("Schedule triggered: Data " + body));
    EXPECT_EQ(bus.armedMs(kTimer), 2000);
}

// A failed start is traced and the schedule still moves on to its next hour.
TEST_F(FiringTest, ASnapshotStartsTheProgramWithTheTenArgumentsOrTracesWhyNot)
{
    QDir::setCurrent(home.path());
    writeRules(4, dispatcher({"Gold"}), kGoldSnapshot);
    serve([&]() {
        announce(4);
        EXPECT_TRUE(trace.contains("Spawning failed: quenrod.exe file not found or invalid"));
        writeProgram(false);
        bus.advance(3600 * 1000);
        EXPECT_TRUE(trace.contains("Spawning failed: quenrod.exe 13"));
        EXPECT_TRUE(bus.started().isEmpty());
        writeProgram(true);
        bus.advance(3600 * 1000);
    });
    ASSERT_EQ(bus.started().size(), 1);
    EXPECT_EQ(bus.started().first().program, QDir(home.path()).absoluteFilePath("quenrod.exe"));
    EXPECT_EQ(bus.started().first().arguments,
              QStringList({"-r", "4", "-p", "Gold", "-i", "4294967295", "-o", "Snap", "-s", "3"}));
    EXPECT_TRUE(events().isEmpty());
    EXPECT_TRUE(trace.contains("Spawning success: quenrod.exe"));
    EXPECT_EQ(list.scheduleList().first().lastOccurrence(),
              QDateTime(QDate(2026, 3, 10), QTime(14, 0)));
}

TEST_F(FiringTest, AProcessTriggerWithoutRuleOrOperationIdPassesZero)
{
    writeProgram(true);
    Schedule schedule(QStringLiteral("Hand-made"), 4, nullptr, false);
    schedule.setScheduleData(parsed("<d><Policy>Gold</Policy><Operation>Snap</Operation></d>"));
    schedule.setTriggerTarget(
        parsed("<t><SchedulerTriggerService type=\"bool\">false"
               "</SchedulerTriggerService>"
               "<SchedulerTriggerProcess>quenrod.exe</SchedulerTriggerProcess>"
               "</t>"));
    list.fireSchedule(schedule);
    ASSERT_EQ(bus.started().size(), 1);
    EXPECT_EQ(bus.started().first().arguments,
              QStringList({"-r", "0", "-p", "Gold", "-i", "0", "-o", "Snap", "-s", "0"}));
    const QStringList traced = trace.lines().filter("has no RuleId or OperationId");
    ASSERT_EQ(traced.size(), 1);
    EXPECT_TRUE(traced.first().contains(" 2 triggerfiring:"));
    EXPECT_TRUE(
        traced.first().endsWith("Schedule Hand-made has no RuleId or OperationId: passing 0"));
}

TEST_F(FiringTest, AServiceTargetNeedsProcessAndGroup)
{
    const QString process = "<SchedulerTriggerProcess>Dist</SchedulerTriggerProcess>";
    const QString group = "<SchedulerTriggerGroup>Group</SchedulerTriggerGroup>";
    const QString cases[] = {process, group,
                             "<SchedulerTriggerService>false</SchedulerTriggerService>"};
    LogCapture log;
    for (const QString &target : cases) {
        Schedule schedule(QStringLiteral("S"), 4, nullptr, false);
        schedule.setTriggerTarget(parsed(("<t>" + target + "</t>").toUtf8()));
        list.fireSchedule(schedule);
    }
    EXPECT_TRUE(events().isEmpty());
    Schedule schedule(QStringLiteral("S"), 4, nullptr, false);
    schedule.setTriggerTarget(parsed(("<t>" + process + group + "</t>").toUtf8()));
    list.fireSchedule(schedule);
    ASSERT_EQ(events().size(), 1);
    EXPECT_EQ(events().first().to, Orvel::MsgAddress("Dist", "Group"));
    EXPECT_TRUE(log.lines().isEmpty()); // no policy in the data
}

TEST_F(FiringTest, ANewRuleSetReplacesTheOldAndRulesIdZeroClearsEverything)
{
    writeRules(4, dispatcher({"Gold"}), kGoldHourly);
    writeRules(5, dispatcher({"Silver"}),
               policyRules(policy("Silver", "2", operation("Cdp", "Cont", "1", "1 Hours"))));
    serve([&]() {
        announce(4);
        announce(5);
        announce(5);
        EXPECT_EQ(scheduleNames(list), QStringList({"Silver-2-Cont-1"}));
        // Reloading the same rule set does not fire again what has just fired.
        ASSERT_EQ(events().size(), 2);
        EXPECT_TRUE(events().last().body.toBinary().contains("Silver"));
        bus.deliver(QStringLiteral("NodeMgrNotifyRulesIdPost"));
        EXPECT_TRUE(list.scheduleList().isEmpty());
        EXPECT_EQ(bus.armedMs(kTimer), 1);
        bus.clearCaptured();
        bus.advance(3600 * 1000);
    });
    EXPECT_TRUE(events().isEmpty());
    EXPECT_FALSE(bus.isArmed(kTimer));
    EXPECT_TRUE(trace.contains("Load new rule set 5"));
    EXPECT_TRUE(trace.contains("Node deactivated. Cleared schedule list"));
    EXPECT_TRUE(trace.contains("Received rules set notify message:\\n <list><RulesId "
                               "type=\"uint\">4</RulesId></list>"));
}

// Only an absent "RulesId" deactivates the node; one that is there but no
// rule set number leaves rule set 4 in force, with a fault naming the body.
// A signed one that is not negative counts.
TEST_F(FiringTest, AnUnusableRulesIdKeepsTheRuleSetInForce)
{
    writeRules(4, dispatcher({"Gold"}), kGoldHourly);
    const struct
    {
        const char *body;
        int schedules;
        const char *traced; // null: the fault below
    } cases[] = {
        {"<b><RulesId type=\"int\">4</RulesId></b>", 1, "Load new rule set 4"},
        {"<b><RulesId>4</RulesId></b>", 1, "Load new rule set 4"},
        {"<b/>", 0, "Node deactivated. Cleared schedule list"},
        {"<b><RulesId>x</RulesId></b>", 1, nullptr},
        {"<b><RulesId type=\"int\">-4</RulesId></b>", 1, nullptr},
        {"<b><RulesId>-4</RulesId></b>", 1, nullptr},
        {"<b><RulesId type=\"bool\">true</RulesId></b>", 1, nullptr},
        {"<b><RulesId><N>4</N></RulesId></b>", 1, nullptr},
        {"<b><RulesId type=\"uint\">4294967296</RulesId></b>", 1, nullptr},
    };
    serve([&]() {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.body);
            notify(4);
            TraceCapture notice;
            bus.deliver(QStringLiteral("NodeMgrNotifyRulesIdPost"), parsed(c.body));
            EXPECT_EQ(list.scheduleList().size(), c.schedules);
            const QStringList faults = notice.lines().filter(QStringLiteral(" 0 schedulelist:"));
            EXPECT_EQ(faults.size(), c.traced ? 0 : 1);
            EXPECT_TRUE(c.traced ? notice.contains(QString::fromLatin1(c.traced))
                                 : faults.value(0).endsWith(
                                       "Unusable RulesId in rules set notify message; rule set 4 "
                                       "stays in force: " +
                                       QString::fromLatin1(c.body)));
        }
    });
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
    QStringList replies;
    serve([&]() {
        announce(4);
        EXPECT_TRUE(events().isEmpty());
        for (const char *request :
             {"<r><ActivationName>weekly FULL</ActivationName><UserTag>tag 1</UserTag></r>", "<r/>",
              "<r><ActivationName>Unknown</ActivationName></r>"}) {
            const Orvel::Msg reply = trigger(request);
            EXPECT_EQ(reply.name(), QStringLiteral("SchedulerManualTriggerReply"));
            replies << QString::fromUtf8(reply.body().toBinary());
        }
    });
    const QString answer =
        QStringLiteral("<list><ActivationName type=\"text\">%1</ActivationName>"
                       "<ActivationCount type=\"int\">%2</ActivationCount></list>");
    EXPECT_EQ(replies, QStringList({answer.arg("weekly FULL").arg(2), answer.arg("").arg(0),
                                    answer.arg("Unknown").arg(0)}));
    ASSERT_EQ(events().size(), 2);
    EXPECT_EQ(
        QString::fromUtf8(events().first().body.toBinary()),
        kGoldData +
            "<TriggerData type=\"list\"><ManualTrigger type=\"text\">Weekly "
            "Full</ManualTrigger><UserTag type=\"text\">tag 1</UserTag></TriggerData></list>");
    EXPECT_TRUE(trace.contains("Trigger manual backups: weekly FULL"));
}

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
        notify(4);
        reply = bus.deliverRequest(QStringLiteral("SchedulerListManualTriggersRequest"));
    });
    EXPECT_EQ(empty.name(), QStringLiteral("SchedulerListManualTriggersReply"));
    EXPECT_TRUE(empty.body().isEmpty());
    EXPECT_EQ(reply.name(), QStringLiteral("SchedulerListManualTriggersReply"));
    // Gold comes first (due now), then Silver (due now, no manual trigger),
    // then Tin, which only a request can make due; each name once per schedule.
    const QString data = QStringLiteral(
        "<Policy type=\"text\">%1</Policy><RuleId type=\"uint\">%2</RuleId><Operation "
        "type=\"text\">%3</Operation><OperationId type=\"uint\">1</OperationId>");
    const QString gold = data.arg("Gold", "1", "G");
    const QString tin = data.arg("Tin", "3", "T");
    EXPECT_EQ(QString::fromUtf8(reply.body().toBinary()),
              "<list><Full type=\"list\">" + gold + "</Full><entry name=\"1 st\" type=\"list\">" +
                  gold + "</entry><Full type=\"list\">" + tin +
                  "</Full><entry name=\"1 st\" type=\"list\">" + tin + "</entry></list>");
    EXPECT_TRUE(trace.contains("Request for manual triggers returning: " +
                               QString::fromUtf8(reply.body().toBinary())));
}
