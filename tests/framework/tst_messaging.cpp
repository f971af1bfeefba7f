#include "childmanager.h"
#include "clock.h"
#include "clockwatch.h"
#include "context.h"
#include "hubrouter.h"
#include "memorytransport.h"
#include "msg.h"
#include "spawn.h"
#include "testsupport.h"
#include "timer.h"

#include <QCoreApplication>

#include <cerrno>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>

#include <unistd.h>

using namespace Orvel;

TEST(MsgAddressTest, BusNamesEscapeEachElementAndTheXmlFormRoundTrips)
{
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"Scheduler", "Scheduler", "org.orvel.Scheduler.Scheduler"},
        {"Node Manager", "Grp", "org.orvel.Grp.Node_20Manager"},
        {"a.b-c_d", "G", "org.orvel.G.a_2eb_2dc_d"},
        {"1st", "2nd", "org.orvel._2nd._1st"},
        {"Ä", "G", "org.orvel.G._c3_84"},
        {"", "G", ""},
        {"P", "", ""},
    };
    for (const auto &[process, group, busName] : cases) {
        const MsgAddress address(QString::fromUtf8(process), QString::fromUtf8(group));
        EXPECT_EQ(address.busName(), QString::fromLatin1(busName));
        EXPECT_EQ(address.isValid(), *busName != 0);
        EXPECT_EQ(MsgAddress::fromXml(address.toXml()), address);
    }
    EXPECT_EQ(MsgAddress::fromXml(MsgAddress(2).toXml()), MsgAddress(MsgAddress::HubRouter));
    EXPECT_TRUE(MsgAddress(2).isHubRouter() && MsgAddress(2).busName().isEmpty());
    EXPECT_FALSE(MsgAddress::fromXml(parsed("<l><Process>P</Process></l>")).isValid());
}

// Each row reads one key of one body: get(key, -1), get(key, 9u), get(key,
// false), get(key, true) and getString(&ok, key) ("-" when not ok).
TEST(MsgTest, GetReadsTypedValuesWithDefaults)
{
    const Msg msg =
        Msg::received(QStringLiteral("X"),
                      parsed("<b><Id type=\"uint\">7</Id><Top type=\"uint\">2147483647</Top><Big "
                             "type=\"uint\">2147483648</Big><Neg type=\"int\">-5</Neg><On "
                             "type=\"bool\">true</On><Name>abc</Name><Plain>12</Plain></b>"),
                      nullptr);
    const std::pair<const char *, const char *> cases[] = {
        {"Id", "7 7 0 1 -"},
        {"Top", "2147483647 2147483647 0 1 -"},
        {"Big", "-1 2147483648 0 1 -"},
        {"Neg", "-5 9 0 1 -"},
        {"On", "-1 9 1 1 -"},
        {"Name", "-1 9 0 1 abc"},
        {"Plain", "12 12 0 1 12"},
        {"Missing", "-1 9 0 1 -"},
    };
    for (const auto &[key, read] : cases) {
        bool ok = false;
        const QString text = msg.getString(&ok, key);
        EXPECT_EQ(QStringLiteral("%1 %2 %3 %4 %5")
                      .arg(msg.get(key, -1))
                      .arg(msg.get(key, 9u))
                      .arg(msg.get(key, false))
                      .arg(msg.get(key, true))
                      .arg(ok ? text : "-"),
                  QString::fromUtf8(read));
    }
}

TEST(MsgTest, WithoutATransportEverythingFailsQuietly)
{
    EXPECT_FALSE(Msg(MsgAddress("A", "B"), QStringLiteral("X"), XmlList(), 0).send(false));
    EXPECT_EQ(Msg(MsgAddress("A", "B"), "X", XmlList(), 0).request(-1).lastError(),
              eMsgResultIpcError);
    EXPECT_EQ(Msg::wait(QStringLiteral("X"), -1).lastError(), eMsgResultIpcError);
    EXPECT_FALSE(Timer::set(QStringLiteral("T"), 1, QString()) || Timer::cancel("T"));
    EXPECT_FALSE(ChildManager().addMsgHandler(
        "X", ChildManager::handler([](const Msg &) { return eMsgResultHandled; })));
    EXPECT_TRUE(ChildManager::ConditionDone(ChildManager()).isDone());
}

// What a wait by name with timeout -1 means, from ORVEL_READY_TIMEOUT_S.
TEST(ReadyTimeoutTest, ComesFromTheEnvironment)
{
    const std::pair<const char *, int> cases[] = {
        {"5", 5000}, {"0", 0}, {"-1", 120000}, {"x", 120000}, {"", 120000},
    };
    for (const auto &[seconds, ms] : cases) {
        qputenv("ORVEL_READY_TIMEOUT_S", seconds);
        EXPECT_EQ(Dispatcher::readyTimeoutMs(), ms) << seconds;
    }
    qunsetenv("ORVEL_READY_TIMEOUT_S");
}

class DispatcherTest : public ::testing::Test
{
protected:
    MemoryTransport bus;
    ChildManager manager;
    QStringList delivered; // the names handled, in order, with any "Data"

    void record(std::initializer_list<const char *> names)
    {
        for (const char *name : names) {
            manager.addMsgHandler(
                name, ChildManager::handler([this](const Msg &msg) {
                    delivered << (msg.name() + ' ' + msg.getString(nullptr, "Data")).trimmed();
                    return eMsgResultHandled;
                }));
        }
    }
};

TEST_F(DispatcherTest, RequestsGetOneReplyAndEverythingElseIsNotHandled)
{
    manager.addMsgHandler("Ask", ChildManager::handler([](const Msg &msg) {
                              EXPECT_TRUE(msg.isRequest() && msg.reply("Answer", msg.body(), 0, 0));
                              EXPECT_FALSE(msg.reply("Again", msg.body(), 0, false));
                              return eMsgResultHandled;
                          }));
    manager.addMsgHandler("Silent",
                          ChildManager::handler([](const Msg &) { return eMsgResultHandled; }));
    const Msg answer = bus.deliverRequest("Ask", parsed("<b><Text>hi</Text></b>"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer.name(), "Answer");
    EXPECT_EQ(answer.getString(nullptr, "Text"), "hi");
    EXPECT_EQ(bus.deliverRequest("Silent").lastError(), eMsgResultNotHandled);
    EXPECT_EQ(bus.deliverRequest("Unknown").lastError(), eMsgResultNotHandled);
    // A handler without a name takes what no other handler takes.
    record({""});
    bus.deliver("Unknown");
    bus.deliver("Silent");
    EXPECT_EQ(delivered, QStringList({"Unknown"}));
}

// A timer set again or cancelled takes its expiry along even when it is
// already queued, while a queued expiry left alone arrives; a jump of the
// wall clock expires every pending timer now.
TEST_F(DispatcherTest, TimersAreReplacedCancelledAndExpiredByAClockJump)
{
    record({"T", "U", "V", "W"});
    EXPECT_TRUE(Timer::set("T", 0, "old"));
    EXPECT_TRUE(Timer::set("U", 0, QString()));
    EXPECT_TRUE(Timer::set("W", 0, "kept"));
    EXPECT_FALSE(Msg::wait("Never", 0)); // queues the three expiries
    EXPECT_TRUE(Timer::set("T", 5000, "new"));
    EXPECT_TRUE(Timer::cancel("U"));
    EXPECT_TRUE(Timer::set("V", 900000, QString()));
    EXPECT_EQ(bus.armedMs("T"), 5000);
    EXPECT_TRUE(delivered.isEmpty());
    bus.jumpClock(-3600000);
    EXPECT_EQ(delivered, QStringList({"W kept", "T new", "V"}));
    EXPECT_FALSE(bus.isArmed("T") || bus.isArmed("V"));
    // A handler re-arming for 0 ms holds the test clock still: an advance
    // gives up after 100,000 expiries.
    manager.addMsgHandler("Again", ChildManager::handler([](const Msg &) {
                              Timer::set("Again", 0, QString());
                              return eMsgResultHandled;
                          }));
    Clock::setNow(QDateTime::currentDateTime());
    Timer::set("Again", 0, QString());
    EXPECT_EQ(bus.advance(1), 100000);
    Clock::useSystem();
}

TEST_F(DispatcherTest, AWaitByNameLeavesOtherMessagesQueuedInOrder)
{
    record({"First", "Second"});
    bus.inject("First");
    bus.inject("Wanted", parsed("<b><Success type=\"bool\">true</Success></b>"));
    bus.inject("Second");
    const Msg wanted = Msg::wait("Wanted", -1);
    EXPECT_TRUE(wanted.get("Success", false));
    EXPECT_TRUE(delivered.isEmpty());
    bus.shutDown();
    EXPECT_EQ(Msg::wait("Wanted", -1).lastError(), eMsgResultExit);
    bus.deliver("Third");
    EXPECT_EQ(delivered, QStringList({"First", "Second"}));
}

TEST_F(DispatcherTest, TheHubRouterReportsAPeerReadyOnceItIsThere)
{
    const MsgAddress peer("NodeManager", "NodeManager");
    EXPECT_EQ(HubRouter::waitUntilReady(peer, -1).lastError(), eMsgResultTimeout);
    bus.setPeerReady(peer);
    const Msg ready = Msg::wait(HubRouter::ProcessReadyPost, -1);
    EXPECT_TRUE(ready.get(HubRouter::Success, false));
    EXPECT_TRUE(HubRouter::isReady(peer, -1));
    EXPECT_TRUE(bus.posted().isEmpty()); // served in-process
    EXPECT_TRUE(Msg(MsgAddress(MsgAddress::HubRouter), HubRouter::RegisterNotifyOnReadyPost,
                    parsed("<b><Address><Junk/></Address></b>"), 0)
                    .send(false));
    EXPECT_FALSE(Msg::wait(HubRouter::ProcessReadyPost, -1).get(HubRouter::Success, true));
}

TEST_F(DispatcherTest, AWaitOnAConditionDeliversUntilShutdown)
{
    // With nothing to come and no idle hook the wait ends instead of blocking.
    EXPECT_EQ(Msg::wait(ChildManager::ConditionDone(manager), -1).lastError(), eMsgResultTimeout);
    record({"A", "B"});
    bus.inject("A");
    int idle = 0;
    bus.setIdleHook([&]() { ++idle == 1 ? bus.inject("B") : bus.shutDown(); });
    EXPECT_EQ(Msg::wait(ChildManager::ConditionDone(manager), -1).lastError(), eMsgResultOk);
    EXPECT_EQ(delivered, QStringList({"A", "B"}));
}

TEST_F(DispatcherTest, ReleaseRemovesHandlersAndGivesUpTheName)
{
    ChildManager named;
    const auto entry = [&]() {
        EXPECT_TRUE(named.initialize(1, 1));
        named.addMsgHandler("A", ChildManager::handler([](const Msg &) {
                                ADD_FAILURE() << "delivered after release";
                                return eMsgResultHandled;
                            }));
        EXPECT_EQ(bus.ownedName(), "org.orvel.Grp.Proc");
        named.release();
        EXPECT_TRUE(bus.ownedName().isEmpty());
        bus.deliver("A");
    };
    EXPECT_EQ(Context::run(entry, 3, 64, "Proc", "Grp", QString()), Context::Stopped);
}

// A process that cannot own its name, or reach the bus at all, leaves with
// its reason and one event-log line.
TEST(ContextTest, NoBusOrATakenNameEndsTheProcessWithItsReason)
{
    LogCapture log;
    {
        MemoryTransport bus;
        bus.setNameTaken("org.orvel.Scheduler.Scheduler");
        ChildManager second;
        EXPECT_EQ(Context::run([&]() { EXPECT_FALSE(second.initialize(1, 1)); }, 3, 64, "Scheduler",
                               "Scheduler", "Scheduler"),
                  Context::NameRefused);
        EXPECT_TRUE(ChildManager::ConditionDone(second).isDone());
    }
    qputenv("ORVEL_BUS", "unix:path=/nonexistent/bus");
    EXPECT_EQ(Context::run([]() { ADD_FAILURE() << "ran without a bus"; }, 3, 64, "Scheduler",
                           "Scheduler", "Scheduler"),
              Context::NoBus);
    qunsetenv("ORVEL_BUS");
    ASSERT_EQ(log.lines().size(), 2);
    EXPECT_TRUE(log.lines()[0].startsWith("Replication 4 Scheduler is already running"));
    EXPECT_TRUE(log.lines()[1].startsWith("Replication 4 Scheduler cannot reach the message bus"));
}

TEST(SpawnTest, RefusesWhatIsNotAnExecutableFile)
{
    TempHome home;
    home.write("plain.txt", "not a program");
    const std::pair<QString, int> cases[] = {
        {home.path() + "/missing", ENOENT},
        {home.path() + "/plain.txt", EACCES},
        {home.path(), EACCES},
        {QString(), ENOENT},
    };
    for (const auto &[program, error] : cases) {
        Spawn spawn;
        spawn.setProgram(program);
        EXPECT_FALSE(spawn.spawn());
        EXPECT_EQ(spawn.error(), error) << program.toStdString();
    }
}

// The real watch cannot be driven without setting the machine's clock; this
// shows that the kernel accepts it, also as descriptor 0 (a daemon started
// without standard input), and that it reports no jump that did not happen.
TEST(ClockWatchTest, IsArmedAndQuietWhileTheClockIsUntouched)
{
    int argc = 1;
    char name[] = "framework_tests";
    char *argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    const int input = ::dup(0);
    ::close(0);
    {
        int jumps = 0;
        const ClockWatch watch([&jumps](qint64) { ++jumps; });
        EXPECT_TRUE(watch.isWatching());
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(jumps, 0);
    }
    ::dup2(input, 0);
    ::close(input);
}
