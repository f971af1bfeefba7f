#include "childmanager.h"
#include "clock.h"
#include "clockwatch.h"
#include "configlocal.h"
#include "context.h"
#include "hubrouter.h"
#include "memorytransport.h"
#include "msg.h"
#include "names.h"
#include "spawn.h"
#include "testsupport.h"
#include "timer.h"
#include "trace.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <gtest/gtest.h>

using namespace Orvel;

namespace {

boost::shared_ptr<ChildManager::Handler> handler(std::function<MsgResult(const Msg &)> body)
{
    return ChildManager::handler(body);
}

XmlList parsed(const char *text)
{
    return XmlList::fromText(QByteArray(text), QStringLiteral("test"));
}

} // namespace

TEST(MsgAddressTest, BusNamesEscapeEachElement)
{
    const struct
    {
        const char *process;
        const char *group;
        const char *busName;
    } cases[] = {{"Scheduler", "Scheduler", "org.orvel.Scheduler.Scheduler"},
                 {"Node Manager", "Grp", "org.orvel.Grp.Node_20Manager"},
                 {"a.b-c_d", "G", "org.orvel.G.a_2eb_2dc_d"},
                 {"1st", "2nd", "org.orvel._2nd._1st"},
                 {"Ä", "G", "org.orvel.G._c3_84"},
                 {"", "G", ""}};
    for (const auto &c : cases)
        EXPECT_EQ(MsgAddress(QString::fromUtf8(c.process), QString::fromUtf8(c.group)).busName(),
                  QString::fromLatin1(c.busName));
}

TEST(MsgAddressTest, XmlFormRoundTripsForProcessesAndWellKnownAddresses)
{
    const MsgAddress peer(QStringLiteral("NodeManager"), QStringLiteral("NodeManager"));
    EXPECT_EQ(peer.toXml().toBinary(),
              QByteArray("<list><Process type=\"text\">NodeManager</Process>"
                         "<Group type=\"text\">NodeManager</Group></list>"));
    EXPECT_EQ(MsgAddress::fromXml(peer.toXml()), peer);
    const MsgAddress hub(2);
    EXPECT_TRUE(hub.isHubRouter());
    EXPECT_EQ(MsgAddress::fromXml(hub.toXml()), hub);
    EXPECT_FALSE(MsgAddress::fromXml(XmlList()).isValid());
}

TEST(MsgTest, GetReadsTypedValuesWithDefaults)
{
    const Msg msg = Msg::received(
        QStringLiteral("X"),
        parsed("<b><RulesId type=\"uint\">7</RulesId><Success type=\"bool\">true</Success>"
               "<Name>abc</Name><Big type=\"uint\">4294967295</Big></b>"),
        nullptr);
    EXPECT_EQ(msg.get(QStringLiteral("RulesId"), 0), 7);
    EXPECT_EQ(msg.get(QStringLiteral("RulesId"), 0u), 7u);
    EXPECT_EQ(msg.get(QStringLiteral("Big"), 0), 0); // does not fit a signed read
    EXPECT_EQ(msg.get(QStringLiteral("Missing"), 5), 5);
    EXPECT_TRUE(msg.get(QStringLiteral("Success"), false));
    EXPECT_FALSE(msg.get(QStringLiteral("Missing"), false));
    bool ok = false;
    EXPECT_EQ(msg.getString(&ok, QStringLiteral("Name")), QStringLiteral("abc"));
    EXPECT_TRUE(ok);
    EXPECT_EQ(msg.getString(&ok, QStringLiteral("Missing")), QString());
    EXPECT_FALSE(ok);
    EXPECT_EQ(msg.getString(nullptr, QStringLiteral("RulesId")), QString());
}

TEST(MsgTest, WithoutATransportEverythingFailsQuietly)
{
    EXPECT_FALSE(
        Msg(MsgAddress(QStringLiteral("A"), QStringLiteral("B")), QStringLiteral("X"), XmlList(), 0)
            .send(false));
    const Msg waited = Msg::wait(QStringLiteral("X"), -1);
    EXPECT_FALSE(waited);
    EXPECT_EQ(waited.lastError(), eMsgResultIpcError);
    EXPECT_FALSE(Timer::set(QStringLiteral("T"), 1, QString()));
}

TEST(MsgResultTest, PrintsTheNameOrNothing)
{
    TraceCapture trace;
    for (int value = -2; value <= 8; ++value)
        TraceLine(0, "test", 1) << MsgResult(value);
    EXPECT_EQ(trace.texts(),
              QStringList({"", "eMsgResultUnknown", "eMsgResultOk", "eMsgResultHandled",
                           "eMsgResultNotHandled", "eMsgResultTimeout", "eMsgResultIpcError",
                           "eMsgResultInvalidArgs", "eMsgResultExit", "eMsgResultFailed", ""}));
}

class MemoryTransportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(12, 0)));
        manager.initialize(1, 1);
    }
    void TearDown() override { Clock::useSystem(); }

    MemoryTransport bus;
    ChildManager manager;
    QStringList delivered; // the names handled, in order
    QStringList details;   // the same with "ss.zzz" of the clock and "Data"

    void record(std::initializer_list<const char *> names)
    {
        for (const char *name : names) {
            manager.addMsgHandler(name, handler([this](const Msg &msg) {
                                      delivered << msg.name();
                                      details << msg.name() + Clock::now().toString(" ss.zzz ") +
                                                     msg.getString(nullptr, "Data");
                                      return eMsgResultHandled;
                                  }));
        }
    }
};

TEST_F(MemoryTransportTest, RequestsGetTheHandlersReplyOrNotHandled)
{
    manager.addMsgHandler(QStringLiteral("Ask"), handler([](const Msg &msg) {
                              XmlList body;
                              body.set(QStringLiteral("Echo"), msg.getString(nullptr, "Text"),
                                       XmlList::Replace);
                              msg.reply(QStringLiteral("Answer"), body, 0, false);
                              EXPECT_FALSE(msg.reply(QStringLiteral("Again"), body, 0, false));
                              return eMsgResultHandled;
                          }));
    manager.addMsgHandler(QStringLiteral("Silent"),
                          handler([](const Msg &) { return eMsgResultHandled; }));
    TraceCapture trace;

    const Msg answer = bus.deliverRequest(QStringLiteral("Ask"), parsed("<b><Text>hi</Text></b>"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer.name(), QStringLiteral("Answer"));
    EXPECT_EQ(answer.getString(nullptr, QStringLiteral("Echo")), QStringLiteral("hi"));
    EXPECT_EQ(bus.deliverRequest(QStringLiteral("Silent")).lastError(), eMsgResultNotHandled);
    EXPECT_EQ(bus.deliverRequest(QStringLiteral("Unknown")).lastError(), eMsgResultNotHandled);
    EXPECT_EQ(bus.replies().size(), 3);
    EXPECT_TRUE(trace.contains(QStringLiteral("No handler for Unknown - dropped")));
}

TEST_F(MemoryTransportTest, SettingATimerReplacesThePendingOneAndItsQueuedExpiry)
{
    record({"T"});
    Timer::set(QStringLiteral("T"), 5000, QString());
    Timer::set(QStringLiteral("T"), 2000, QString());
    EXPECT_EQ(bus.armedMs(QStringLiteral("T")), 2000);
    EXPECT_EQ(bus.advance(10000), 1);
    EXPECT_EQ(delivered, QStringList({"T"}));
    EXPECT_FALSE(bus.isArmed(QStringLiteral("T")));
}

TEST_F(MemoryTransportTest, CancelDropsAnExpiryNotYetDelivered)
{
    record({"T"});
    bus.inject(QStringLiteral("Other"));
    Timer::set(QStringLiteral("T"), 0, QString());
    bool stopped = false;
    bus.setIdleHook([&]() { stopped = true; });
    // The wait by name queues the due expiry but leaves it undelivered.
    EXPECT_FALSE(Msg::wait(QStringLiteral("Never"), 0));
    Timer::cancel(QStringLiteral("T"));
    bus.deliver(QStringLiteral("Other"));
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_TRUE(stopped);
}

TEST_F(MemoryTransportTest, AdvanceDeliversTimersInDueOrderAndStopsTheClockAtEach)
{
    record({"A", "B", "C"});
    Timer::set(QStringLiteral("C"), 3000, QStringLiteral("payload"));
    Timer::set(QStringLiteral("A"), 1000, QString());
    Timer::set(QStringLiteral("B"), 1000, QString());
    EXPECT_EQ(bus.advance(2500), 2);
    EXPECT_EQ(Clock::now().time(), QTime(12, 0, 2, 500));
    EXPECT_EQ(bus.dueAt(QStringLiteral("C")).time(), QTime(12, 0, 3));
    EXPECT_TRUE(bus.fire(QStringLiteral("C")));
    EXPECT_FALSE(bus.fire(QStringLiteral("C")));
    EXPECT_EQ(details, QStringList({"A 01.000 ", "B 01.000 ", "C 02.500 payload"}));
}

TEST_F(MemoryTransportTest, AClockJumpExpiresEveryPendingTimerAtOnce)
{
    record({"Long", "Short", "Cancelled", "Done"});
    Timer::set(QStringLiteral("Long"), 900000, QStringLiteral("payload"));
    Timer::set(QStringLiteral("Short"), 1000, QString());
    Timer::set(QStringLiteral("Cancelled"), 1000, QString());
    Timer::cancel(QStringLiteral("Cancelled"));
    Timer::set(QStringLiteral("Done"), 10, QString());
    bus.fire(QStringLiteral("Done"));
    details.clear();
    TraceCapture trace;

    bus.jumpClock(-3600000);

    EXPECT_EQ(details, QStringList({"Long 00.000 payload", "Short 00.000 "}));
    EXPECT_FALSE(bus.isArmed(QStringLiteral("Long")));
    EXPECT_FALSE(bus.isArmed(QStringLiteral("Short")));
    EXPECT_EQ(Clock::now(), QDateTime(QDate(2026, 3, 10), QTime(11, 0)));
    const QStringList jumps = trace.lines().filter(QStringLiteral("Wall clock jumped"));
    ASSERT_EQ(jumps.size(), 1);
    EXPECT_TRUE(jumps.first().contains(QStringLiteral(" 2 dispatcher:")));
    EXPECT_TRUE(trace.contains(
        QStringLiteral("Wall clock jumped by -3600000 ms - pending timers expire now")));

    details.clear();
    bus.jumpClock(5000); // nothing pending: only the clock moves
    EXPECT_TRUE(details.isEmpty());
    EXPECT_EQ(Clock::now(), QDateTime(QDate(2026, 3, 10), QTime(11, 0, 5)));
}

// The real watch cannot be driven without setting the machine's clock; this
// shows that the kernel accepts it and that it does not report jumps that
// did not happen.
TEST(ClockWatchTest, IsArmedAndQuietWhileTheClockIsUntouched)
{
    int argc = 1;
    char name[] = "framework_tests";
    char *argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    int jumps = 0;
    const ClockWatch watch([&jumps](qint64) { ++jumps; });
    EXPECT_TRUE(watch.isWatching());
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(jumps, 0);
}

TEST_F(MemoryTransportTest, WaitByNameLeavesOtherMessagesQueuedInOrder)
{
    record({"First", "Second"});
    bus.inject(QStringLiteral("First"));
    bus.inject(QStringLiteral("Wanted"), parsed("<b><Success type=\"bool\">true</Success></b>"));
    bus.inject(QStringLiteral("Second"));
    const Msg wanted = Msg::wait(QStringLiteral("Wanted"), -1);
    ASSERT_TRUE(wanted);
    EXPECT_TRUE(wanted.get(QStringLiteral("Success"), false));
    EXPECT_TRUE(delivered.isEmpty());
    bus.shutDown();
    bus.deliver(QStringLiteral("Third"));
    EXPECT_EQ(delivered, QStringList({"First", "Second"}));
}

TEST_F(MemoryTransportTest, HubRouterReportsAPeerReadyOnceItIsThere)
{
    const MsgAddress hub(MsgAddress::HubRouter);
    const MsgAddress peer(QStringLiteral("NodeManager"), QStringLiteral("NodeManager"));
    Msg registration(hub, HubRouter::RegisterNotifyOnReadyPost, XmlList(), 0);
    registration.set(HubRouter::Address, peer.toXml(), XmlList::Replace);
    registration.send(false);

    const Msg none = Msg::wait(HubRouter::ProcessReadyPost, -1);
    EXPECT_FALSE(none);
    EXPECT_EQ(none.lastError(), eMsgResultTimeout);

    bus.setPeerReady(peer);
    const Msg ready = Msg::wait(HubRouter::ProcessReadyPost, -1);
    ASSERT_TRUE(ready);
    EXPECT_TRUE(ready.get(HubRouter::Success, false));
    EXPECT_TRUE(bus.posted().isEmpty()); // the hub router is served in-process

    Msg(hub, HubRouter::RegisterNotifyOnReadyPost, parsed("<b><Address><Junk/></Address></b>"), 0)
        .send(false);
    const Msg refused = Msg::wait(HubRouter::ProcessReadyPost, -1);
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused.get(HubRouter::Success, true));
}

TEST_F(MemoryTransportTest, WaitOnConditionDeliversUntilShutdown)
{
    // With nothing to come and no idle hook the wait ends instead of blocking.
    EXPECT_EQ(Msg::wait(ChildManager::ConditionDone(manager), -1).lastError(), eMsgResultTimeout);
    record({"A", "B"});
    bus.inject(QStringLiteral("A"));
    int idle = 0;
    bus.setIdleHook([&]() {
        if (++idle == 1) {
            bus.inject(QStringLiteral("B"));
            return;
        }
        bus.shutDown();
    });
    const Msg result = Msg::wait(ChildManager::ConditionDone(manager), -1);
    EXPECT_EQ(result.lastError(), eMsgResultOk);
    EXPECT_EQ(delivered, QStringList({"A", "B"}));
}

TEST_F(MemoryTransportTest, ReleaseRemovesHandlersAndGivesUpTheName)
{
    MemoryTransport local;
    ChildManager named;
    Context::run(
        [&]() {
            EXPECT_TRUE(named.initialize(1, 1));
            named.addMsgHandler(QStringLiteral("A"), handler([](const Msg &) {
                                    ADD_FAILURE() << "delivered after release";
                                    return eMsgResultHandled;
                                }));
            EXPECT_EQ(local.ownedName(), QStringLiteral("org.orvel.Grp.Proc"));
            named.release();
            EXPECT_TRUE(local.ownedName().isEmpty());
            local.deliver(QStringLiteral("A"));
        },
        3, 64, QStringLiteral("Proc"), QStringLiteral("Grp"), QString());
}

TEST_F(MemoryTransportTest, ATakenNameIsNotStolenAndTheProcessLeaves)
{
    MemoryTransport local;
    LogCapture log;
    local.setNameTaken(QStringLiteral("org.orvel.Scheduler.Scheduler"));
    ChildManager second;
    const QString scheduler = QStringLiteral("Scheduler");
    EXPECT_EQ(Context::run([&]() { EXPECT_FALSE(second.initialize(1, 1)); }, 3, 64, scheduler,
                           scheduler, scheduler),
              Context::NameRefused);
    EXPECT_TRUE(ChildManager::ConditionDone(second).isDone());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(
        log.lines().first().startsWith(QStringLiteral("Replication 4 Scheduler is already")));
}

TEST_F(MemoryTransportTest, StoreSavesDuringOneDeliveryAreWrittenOnce)
{
    TempHome home;
    ConfigLocal store(QStringLiteral("scheduler.cfg"));
    int writesSeen = 0;
    manager.addMsgHandler(QStringLiteral("Save"), handler([&](const Msg &) {
                              for (quint32 i = 0; i < 3; ++i) {
                                  store.set(QStringLiteral("N"), i, XmlList::Replace);
                                  store.save();
                                  writesSeen += QFile::exists(store.filePath()) ? 1 : 0;
                              }
                              return eMsgResultHandled;
                          }));
    bus.deliver(QStringLiteral("Save"));
    EXPECT_EQ(writesSeen, 0);
    EXPECT_FALSE(store.isDirty());
    EXPECT_EQ(Config(store.filePath(), QString()).toBinary(), store.toBinary());
}

TEST(SpawnTest, RefusesWhatIsNotAnExecutableFile)
{
    TempHome home;
    home.write(QStringLiteral("plain.txt"), "not a program");
    const struct
    {
        QString program;
        int error;
    } cases[] = {{home.path() + "/missing", ENOENT},
                 {home.path() + "/plain.txt", EACCES},
                 {home.path(), EACCES},
                 {QString(), ENOENT}};
    for (const auto &c : cases) {
        Spawn spawn;
        spawn.setProgram(c.program);
        EXPECT_FALSE(spawn.spawn()) << c.program.toStdString();
        EXPECT_EQ(spawn.error(), c.error) << c.program.toStdString();
    }
}
