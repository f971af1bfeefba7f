// The schedule list over the in-memory transport: the timer loop as the
// frozen clock moves or jumps, what a firing sends or starts, and the
// messages that change the list.
#include "context.h"
#include "firingpreview.h"
#include "policyparser.h"
#include "schedtest.h"
#include "schedulelist.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include <functional>
#include <tuple>

using Orvel::Clock;
using Orvel::XmlList;

namespace {

const QString kTimer = QStringLiteral("SchedulerTimer");
constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kHour = 60 * kMinute;

// The firings traced, in order, as "name hh:mm:ss": the time of day it fired
// (or, from word 7, "name TIME": the time it was due).
QStringList firings(const TraceCapture &trace, int from = 15, int to = 15)
{
    QStringList found;
    for (const QString &text : trace.texts().filter(QLatin1String("Schedule triggered:  ")))
        found << text.section(' ', 3, 3) + ' ' + text.section(' ', from, to);
    return found;
}

class ListTest : public SchedulerTest
{
protected:
    ~ListTest() override { QDir::setCurrent(previousDirectory); }

    // Serves `list` as the process does while `steps` plays the peers once.
    void serve(ScheduleList &list, const std::function<void()> &steps)
    {
        bool done = false;
        bus.setIdleHook([&] {
            if (!std::exchange(done, true))
                steps();
            bus.shutDown();
        });
        list.run();
    }
    void notify(const QByteArray &body) { bus.deliver("NodeMgrNotifyRulesIdPost", parsed(body)); }
    // Announces rule set `n` and lets the 1 ms timer run the first pass.
    void announce(quint32 n)
    {
        notify("<l><RulesId type=\"uint\">" + QByteArray::number(n) + "</RulesId></l>");
        EXPECT_EQ(bus.armedMs(kTimer), 1);
        bus.advance(1);
    }
    QList<Orvel::MemoryTransport::Posted> events() const
    {
        QList<Orvel::MemoryTransport::Posted> found = bus.posted();
        found.removeIf([](const auto &post) { return post.name != "SchedulerEventPost"; });
        return found;
    }
    // The snapshot program in the working directory, executable or not.
    void writeProgram(bool executable) const
    {
        QDir::setCurrent(home.path());
        home.write("quenrod.exe", "#!/bin/sh\n");
        QFile::setPermissions(
            "quenrod.exe", QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               (executable ? QFileDevice::ExeOwner : QFileDevice::Permissions()));
    }

    QString previousDirectory = QDir::currentPath();
};

const QByteArray kGoldHourly =
    Rules::policy("Gold", "12", Rules::operation("Backup", "Nightly", "3", "1 Hours"), "Async");

} // namespace

// "MaxWaitSeconds" is clamped into 1..4294967; a wait beyond it is cut to it.
TEST_F(ListTest, ArmsTheTimerForTheEarliestScheduleToTheMillisecond)
{
    // "MaxWaitSeconds", now, the next time, the timer armed, whether the wait
    // passes the day cap ("MaxWaitSeconds" in whole calendar days, at least 1).
    const std::tuple<const char *, const char *, const char *, qint64, bool> rows[] = {
        {"", "2026-03-10 12:00", "2026-03-10 12:00:10", 10000, false},
        {"", "2026-03-10 12:00", "2026-03-10 15:00", 900000, false},
        {"", "2026-03-10 23:55", "2026-03-11 00:05", 600000, false},
        {"", "2026-03-10 23:55", "2026-03-12 00:05", 900000, true},
        {"", "2026-03-10 12:00:00.600", "2026-03-10 12:00:11", 10400, false},
        {"", "2026-03-10 12:00", "never", 900000, false},
        {"86400", "2026-03-10 23:00", "2026-03-13 01:00", 86400000, true},
        {"86401", "2026-03-10 23:00", "2026-03-11 23:00:02", 86401000, false},
        // Sunday 29 March has 23 hours: a full day's wait would wake 15 min late.
        {"86400", "2026-03-28 23:30", "2026-03-30 00:15", 85500000, true},
        {"1", "2026-03-10 12:00", "2026-03-10 12:00:10", 1000, false},
        {"0", "2026-03-10 12:00", "2026-03-10 12:00:10", 1000, false},
        {"4294967", "2026-03-10 12:00", "2026-06-10 12:00", 4294967000, true},
        {"4294968", "2026-03-10 12:00", "2026-06-10 12:00", 4294967000, true},
    };
    for (const auto &[maxWait, now, next, armedMs, dayCapped] : rows) {
        SCOPED_TRACE(std::string(maxWait) + " " + next);
        home.write("local/scheduler.cfg", "<c><MaxWaitSeconds>" + QByteArray(maxWait) +
                                              "</MaxWaitSeconds></c>"); // "": none to read
        Clock::setNow(at(now));
        TraceCapture lines;
        ScheduleList list;
        list.setSchedules({dueAt("A", at(next))});
        list.processScheduleList();
        EXPECT_EQ(bus.armedMs(kTimer), armedMs);
        const bool clamped = QByteArrayList({"0", "4294968"}).contains(maxWait);
        EXPECT_EQ(lines.contains(0, "schedulelist",
                                 "MaxWaitSeconds " + QString(maxWait) +
                                     " is out of range 1.. 4294967 - using"),
                  clamped);
        EXPECT_EQ(lines.texts(2).filter("max days wait exceeded").size(), dayCapped ? 1 : 0);
        EXPECT_FALSE(list.scheduleList().first().lastOccurrence().isValid());
    }
}

TEST_F(ListTest, DueSchedulesFireInOrderEachMarkedAtItsDueTime)
{
    Clock::setNow(at("2026-03-11 00:00:30.900"));
    ScheduleList list;
    list.setSchedules({dueAt("C", at("2026-03-11 00:00:31")), dueAt("B", at("2026-03-11 00:00:30")),
                       dueAt("A", at("2026-03-10 23:59:50")), dueAt("N", QDateTime())});
    list.processScheduleList();
    EXPECT_EQ(firings(trace), QStringList({"A 00:00:30", "B 00:00:30"}));
    EXPECT_EQ(list.scheduleList().at(1).lastOccurrence(), at("2026-03-10 23:59:50"));
    EXPECT_EQ(list.scheduleList().first().name(), "C");
    EXPECT_EQ(bus.armedMs(kTimer), 100);
    serve(list, [&] {
        Clock::advance(97); // the timer comes back 3 ms early: re-armed for the rest
        bus.fire(kTimer);
        EXPECT_EQ(bus.armedMs(kTimer), 3);
        EXPECT_EQ(firings(trace).size(), 2);
        bus.advance(3);
    });
    EXPECT_EQ(firings(trace).last(), "C 00:00:31");
}

// A burst fires in name order, 1000 in a pass, then goes on in a pass of its own.
TEST_F(ListTest, ABurstFiresInPassesOfFiveHundred)
{
    QList<Schedule> due;
    for (int i = 0; i < 501; ++i)
        due << dueAt(QStringLiteral("S%1").arg(i * 37 % 501, 4, 10, QLatin1Char('0')),
                     Clock::now());
    EXPECT_FALSE(due.first() < due.first()); // a strict order, as sorting needs
    ScheduleList list;
    list.setSchedules(due);
    list.processScheduleList();
    const QStringList fired = firings(trace);
    ASSERT_EQ(fired.size(), 500);
    EXPECT_EQ(fired.first(), "S0000 07:00:00");
    EXPECT_EQ(fired.last(), "S0499 07:00:00");
    EXPECT_EQ(bus.armedMs(kTimer), 1);
    list.processScheduleList();
    EXPECT_EQ(firings(trace).last(), "S0500 07:00:00");
    EXPECT_EQ(bus.armedMs(kTimer), 900000);
}

// jumpClock() stands for the notice that the wall clock was set or the
// machine resumed: every pending timer expires at once.
TEST_F(ListTest, AClockSetOrAResumeFiresWhatIsDueOnceAndReArms)
{
    // Daily schedules, each with a one-minute window, that keep no times.
    QList<Schedule> daily;
    for (const char *name : {"A 08:00/60", "B 08:10/60", "C 08:20/60", "D 12:00/60"}) {
        write(name, Rules::scheduleFile({"week " + QString(name).mid(2)}));
        daily << Schedule(QString(name).left(1), name, 1, nullptr, false);
        daily.last().initiateSchedule();
    }
    ScheduleList list;
    list.setSchedules(daily);
    list.processScheduleList();
    serve(list, [&] {
        bus.jumpClock(10 * kMinute); // a resume with nothing due
        EXPECT_TRUE(firings(trace).isEmpty());
        EXPECT_EQ(bus.dueAt(kTimer), at("2026-12-07 07:25"));
        bus.jumpClock(65 * kMinute); // set forwards past two due times
        EXPECT_EQ(firings(trace), QStringList({"A 08:15:00", "B 08:15:00"}));
        bus.jumpClock(-kHour); // back an hour: nothing fires twice
        EXPECT_EQ(bus.dueAt(kTimer), at("2026-12-07 07:30"));
        bus.advance(5 * kHour);
    });
    EXPECT_EQ(firings(trace),
              QStringList({"A 08:15:00", "B 08:15:00", "C 08:20:00", "D 12:00:00"}));
}

// The preview is the list's timer loop without the timer: over a night with
// the spring change both give the same (schedule, due time) pairs, each with
// the clock at the firing.
TEST_F(ListTest, APreviewListsWhatTheListFires)
{
    writeRuleSet(
        3, {"Gold", "Silver", "Tin"},
        Rules::policy("Silver", "2", Rules::operation("Backup", "S", "1", "2 Hours")) +
            Rules::policy("Gold", "1", Rules::operation("Backup", "G", "1", "3 Hours")) +
            Rules::policy("Tin", "3", Rules::operation("Backup", "T", "1", nullptr, "t.xml")));
    home.write("rules/3/t.xml", Rules::scheduleFile({"week All 02:30/3600", "week All 04:10/60",
                                                     "Exclude week All 04:00/1200"}));
    Clock::setNow(at("2026-03-28 22:00"));
    ScheduleList list;
    serve(list, [&] {
        announce(3);
        bus.advance(10 * kHour);
    });
    QStringList previewed;
    FiringPreview preview(3, at("2026-03-28 22:00"));
    for (auto f = preview.fireNext(); f.at.isValid() && f.at < at("2026-03-29 09:00:01");
         f = preview.fireNext()) {
        previewed << f.schedule + ' ' + QLocale::c().toString(f.at, "hh:mm:ss ddd MMMM d yyyy");
        EXPECT_EQ(preview.schedules().value(f.position).name(), f.schedule);
        EXPECT_EQ(Clock::now(), f.at);
    }
    EXPECT_GE(previewed.size(), 8);
    EXPECT_EQ(firings(trace, 7, 11), previewed);
    EXPECT_TRUE(preview.keepOnly("Tin-3-T-1"));
    EXPECT_EQ(preview.fireNext().schedule, "Tin-3-T-1");
    EXPECT_FALSE(preview.keepOnly("Gold-1-G-1"));
    EXPECT_TRUE(preview.schedules().isEmpty() && !preview.fireNext().at.isValid());
}

// Under systemd the event log's lines reach the journal, a firing's with the
// fields operators find it by.
TEST_F(ListTest, ABackupPostsItsEventToTheDistributorAndJournalsIt)
{
    writeRuleSet(4, {"Gold"}, kGoldHourly);
    qputenv("INVOCATION_ID", "0123456789abcdef0123456789abcdef");
    journal.clear();
    ScheduleList list;
    serve(list, [&] {
        announce(4);
        Orvel::Context::setLoggingEnabled(false); // without an event log it still posts
        bus.advance(kHour);
        Orvel::Context::setLoggingEnabled(true);
    });
    qunsetenv("INVOCATION_ID");
    ASSERT_EQ(events().size(), 2);
    for (const auto &post : events()) {
        EXPECT_EQ(post.to, Orvel::MsgAddress("Distributor", "Distributor"));
        EXPECT_EQ(post.body, list.scheduleList().first().eventData()); // fields: tst_rulesets
    }
    ASSERT_EQ(journal.size(), 3);
    EXPECT_EQ(journal.at(0).first(), "MESSAGE=State Scheduler/Scheduler 2");
    // The firing's own fields follow the priority and the syslog ones (tst_trace).
    EXPECT_EQ(journal.at(1).first() + ' ' + journal.at(1).mid(4).join(' '),
              "MESSAGE=Backup 1 Backup event: Policy 'Gold', operation 'Nightly' "
              "SCHEDULE=Gold-12-Nightly-3 POLICY=Gold OPERATION=Nightly TRIGGER=objective "
              "DUE=2026-12-07T07:00:00.000+01:00 LATE_MS=1 RULE_SET=4");
    EXPECT_EQ(journal.at(2).first(), "MESSAGE=State Scheduler/Scheduler 3");
}

// A failed start is traced and the schedule still moves on to its next hour.
TEST_F(ListTest, ASnapshotStartsTheProgramWithItsTenArgumentsOrTracesWhyNot)
{
    QDir::setCurrent(home.path());
    writeRuleSet(4, {"Gold"},
                 Rules::policy("Gold", "4294967295",
                               Rules::operation("LocalSnapshot", "Snap", "3", "1 Hours")));
    ScheduleList list;
    serve(list, [&] {
        announce(4);
        writeProgram(false);
        bus.advance(kHour);
        EXPECT_TRUE(trace.contains("Spawning failed: quenrod.exe 13"));
        writeProgram(true);
        const TraceCapture started;
        bus.advance(kHour);
        EXPECT_FALSE(started.contains(2, "triggerfiring", "Spawning failed"));
    });
    ASSERT_EQ(bus.started().size(), 1);
    EXPECT_EQ(bus.started().first().program, QDir(home.path()).absoluteFilePath("quenrod.exe"));
    EXPECT_EQ(bus.started().first().arguments,
              QStringList({"-r", "4", "-p", "Gold", "-i", "4294967295", "-o", "Snap", "-s", "3"}));
    EXPECT_TRUE(events().isEmpty());
    EXPECT_EQ(list.scheduleList().first().lastOccurrence(), at("2026-12-07 09:00"));
}

// Hand-made data without "RuleId" or "OperationId" still starts the program,
// with 0 in its place and a line naming the schedule. A service target needs
// both process and group.
TEST_F(ListTest, AHandMadeScheduleFiresAtItsTargetWithWhatItHas)
{
    writeProgram(true);
    const std::tuple<const char *, const char *, const char *, bool> rows[] = {
        {"", "0", "0", true},
        {"<RuleId>7</RuleId>", "7", "0", true},
        {"<OperationId>5</OperationId>", "0", "5", true},
        {"<RuleId>7</RuleId><OperationId>5</OperationId>", "7", "5", false},
    };
    ScheduleList list;
    for (const auto &[ids, ruleId, operationId, traced] : rows) {
        Schedule schedule("Hand-made", 4, nullptr, false);
        schedule.setScheduleData(parsed("<d><Policy>Gold</Policy><Operation>Snap</Operation>" +
                                        QByteArray(ids) + "</d>"));
        schedule.setTriggerTarget(PolicyParser::triggerTarget(true));
        TraceCapture firing;
        list.fireSchedule(schedule);
        EXPECT_EQ(
            bus.started().last().arguments,
            QStringList({"-r", "0", "-p", "Gold", "-i", ruleId, "-o", "Snap", "-s", operationId}));
        EXPECT_EQ(firing.contains(2, "triggerfiring",
                                  "Schedule Hand-made has no RuleId or OperationId: passing 0"),
                  traced);
    }
    const QByteArray process = "<SchedulerTriggerProcess>Dist</SchedulerTriggerProcess>";
    const QByteArray group = "<SchedulerTriggerGroup>Group</SchedulerTriggerGroup>";
    for (const QByteArray &target :
         {process, group, QByteArray("<SchedulerTriggerService>false</SchedulerTriggerService>"),
          process + group}) {
        Schedule schedule("S", 4, nullptr, false);
        schedule.setTriggerTarget(parsed("<t>" + target + "</t>"));
        list.fireSchedule(schedule);
    }
    ASSERT_EQ(events().size(), 1);
    EXPECT_EQ(events().first().to, Orvel::MsgAddress("Dist", "Group"));
}

TEST_F(ListTest, ANewRuleSetReplacesTheOldAndOneWithoutRulesIdClearsEverything)
{
    writeRuleSet(4, {"Gold"}, kGoldHourly);
    writeRuleSet(5, {"Silver"},
                 Rules::policy("Silver", "2", Rules::operation("Cdp", "C", "1", "1 Hours")));
    ScheduleList list;
    serve(list, [&] {
        announce(4);
        announce(5);
        announce(5); // the same again does not fire again what has just fired
        ASSERT_EQ(list.scheduleList().size(), 1);
        EXPECT_EQ(list.scheduleList().first().name(), "Silver-2-C-1");
        ASSERT_EQ(events().size(), 2);
        EXPECT_EQ(valueAt(events().last().body, "Policy"), "Silver");
        notify("<l/>");
        EXPECT_TRUE(list.scheduleList().isEmpty());
        EXPECT_EQ(bus.armedMs(kTimer), 1);
        bus.advance(kHour);
    });
    EXPECT_EQ(events().size(), 2);
    EXPECT_FALSE(bus.isArmed(kTimer));
}

// Only an absent "RulesId" deactivates the node; one that is there but no
// rule set number leaves rule set 4 in force. A signed one not negative counts.
TEST_F(ListTest, AnUnusableRulesIdKeepsTheRuleSetInForce)
{
    writeRuleSet(4, {"Gold"}, kGoldHourly);
    const std::pair<const char *, int> rows[] = {
        {"<b><RulesId type=\"int\">4</RulesId></b>", 1},
        {"<b><RulesId>4</RulesId></b>", 1},
        {"<b/>", 0},
        {"<b><RulesId>x</RulesId></b>", -1},
        {"<b><RulesId type=\"int\">-4</RulesId></b>", -1},
        {"<b><RulesId>-4</RulesId></b>", -1},
        {"<b><RulesId type=\"bool\">true</RulesId></b>", -1},
        {"<b><RulesId><N>4</N></RulesId></b>", -1},
        {"<b><RulesId type=\"uint\">4294967296</RulesId></b>", -1},
    };
    ScheduleList list;
    serve(list, [&] {
        for (const auto &[body, schedules] : rows) {
            SCOPED_TRACE(body);
            announce(4);
            TraceCapture notice;
            notify(body);
            EXPECT_EQ(list.scheduleList().size(), schedules < 0 ? 1 : schedules);
            EXPECT_EQ(notice.texts(0).isEmpty(), schedules >= 0); // a refusal is a fault
        }
    });
}

// A manual trigger fires at once every schedule with a matching activation
// name and replies with their count. The list reply holds each activation
// name with its schedule's event data, in the order of the list; names that
// are no XML names too.
TEST_F(ListTest, ManualTriggersAreListedAndFireMatchingSchedulesAtOnce)
{
    home.write("rules/4/manual.xml", Rules::scheduleFile({"manual Weekly_Full", "manual 1_st"}));
    writeRuleSet(
        4, {"Gold", "Silver", "Tin"},
        Rules::policy("Gold", "12", Rules::operation("Backup", "G", "3", nullptr, "manual.xml")) +
            Rules::policy("Silver", "2",
                          Rules::operation("Backup", "S", "1", "1 Hours", "manual.xml")) +
            Rules::policy("Tin", "3", Rules::operation("Backup", "T", "1", "1 Hours")));
    QList<Orvel::Msg> replies;
    ScheduleList list;
    serve(list, [&] {
        replies << bus.deliverRequest("SchedulerListManualTriggersRequest");
        announce(4);
        ASSERT_EQ(events().size(), 2); // the objectives, due at once
        replies << bus.deliverRequest("SchedulerListManualTriggersRequest");
        for (const char *request :
             {"<r><ActivationName>weekly FULL</ActivationName><UserTag>tag 1</UserTag></r>",
              "<r/>"})
            replies << bus.deliverRequest("SchedulerManualTriggerRequest", parsed(request));
        // A name no schedule answers to leaves the list as it is: no pass runs.
        const TraceCapture unknown;
        replies << bus.deliverRequest("SchedulerManualTriggerRequest",
                                      parsed("<r><ActivationName>Unknown</ActivationName></r>"));
        EXPECT_FALSE(unknown.contains(2, "schedulelist", "Next schedule:"));
    });
    ASSERT_EQ(replies.size(), 5);
    EXPECT_EQ(replies.at(0).name(), "SchedulerListManualTriggersReply");
    EXPECT_TRUE(replies.at(0).body().isEmpty());
    EXPECT_EQ(replies.at(1).name(), "SchedulerListManualTriggersReply");
    QStringList listed;
    for (Orvel::XmlListIterator it = replies.at(1).body().first(); !it.isNull(); it.next()) {
        XmlList data;
        replies.at(1).body().get(data, it);
        listed << it.name() + ' ' + valueAt(data, "Policy") + ' ' + valueAt(data, "RuleId");
    }
    EXPECT_EQ(listed, QStringList({"Weekly Full Silver 2", "1 st Silver 2", "Weekly Full Gold 12",
                                   "1 st Gold 12"}));
    const std::pair<const char *, const char *> answers[] = {
        {"weekly FULL", "2"}, {"", "0"}, {"Unknown", "0"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(replies.at(i + 2).name(), "SchedulerManualTriggerReply");
        EXPECT_EQ(valueAt(replies.at(i + 2).body(), "ActivationName"), answers[i].first);
        EXPECT_EQ(valueAt(replies.at(i + 2).body(), "ActivationCount"), answers[i].second);
    }
    ASSERT_EQ(events().size(), 4);
    EXPECT_EQ(valueAt(events().at(2).body, "Policy"), "Gold");
    EXPECT_EQ(valueAt(events().at(2).body, "TriggerData/ManualTrigger"), "Weekly Full");
    EXPECT_EQ(valueAt(events().at(2).body, "TriggerData/UserTag"), "tag 1");
}

// The trace lines the operator's documents name: level, source and text.
TEST_F(ListTest, DocumentedTraceLines)
{
    writeRuleSet(4, {"Gold"}, kGoldHourly);
    home.write("rules/5/dispatcherrules.cfg", Rules::dispatcher({"Gold"}));
    home.write("rules/6/dispatcherrules.cfg", "<r><SnapshotStream><RemotePolicies><NodeB><Other/>"
                                              "</NodeB></RemotePolicies></SnapshotStream></r>");
    writeRuleSet(
        1, {"Gold"},
        Rules::policy("Gold", "1", Rules::operation("Backup", "B", "1", "3 minutes", "empty.xml")));
    write("empty.xml", "<s/>");
    QDir::setCurrent(home.path());
    Schedule snapshot("Snap", 4, nullptr, false);
    snapshot.setTriggerTarget(PolicyParser::triggerTarget(true));
    ScheduleList list;
    const QString monday = QStringLiteral("07:00:00 Mon December 7 2026");
    const struct
    {
        std::function<void()> input;
        int level;
        const char *source;
        QString text; // the line's text begins with it
    } rows[] = {
        {[&] { list.onTimer(Orvel::Msg()); }, 3, "schedulelist", "There are 0 schedules"},
        {[&] { notify("<l><RulesId>4</RulesId></l>"); }, 2, "schedulelist", "Load new rule set 4"},
        {[&] { bus.advance(1); }, 2, "schedulelist",
         "Schedule triggered:  Gold-12-Nightly-3  at  " + monday + "  occured  " + monday},
        {[&] { list.processScheduleList(); }, 2, "schedulelist",
         "Next schedule: Gold-12-Nightly-3 data <list><Policy"},
        {[&] { notify("<l/>"); }, 2, "schedulelist", "Node deactivated. Cleared schedule list"},
        {[&] {
             list.setSchedules({dueAt("Y", QDateTime())});
             list.processScheduleList();
         },
         0, "schedulelist", "Next schedule: Y  has invalid/unknown expiry time"},
        {[&] { list.reload(9); }, 2, "localpolicies", "Failed to open the dispatcher rules"},
        {[&] { list.reload(5); }, 2, "rulesetloader", "Failed to open the policy rules"},
        {[&] { list.reload(6); }, 0, "localpolicies", "Failed to find policies for remote node!"},
        {[&] { list.reload(1); }, 0, "policyparser",
         "Invalid Recovery point objective in policyrules"},
        {[&] { list.reload(1); }, 0, "policyparser",
         "Invalid backup schedule for policy Gold RuleId 1 Schedule empty.xml"},
        {[&] {
             started({"week", "<MonthlyDays><entry name=\"15\">yes</entry></MonthlyDays>"});
         },
         2, "rulesplace",
         "Passed over ScheduleElement[2]/MonthlyDays/15 of " + home.path() +
             "/rules/1/s.xml - not a bool"},
        {[&] { list.fireSchedule(snapshot); }, 2, "triggerfiring",
         "Spawning failed: quenrod.exe file not found or invalid"},
    };
    serve(list, [&] {
        for (const auto &r : rows) {
            SCOPED_TRACE(r.text.toStdString());
            TraceCapture lines;
            r.input();
            EXPECT_TRUE(lines.contains(r.level, QLatin1String(r.source), r.text));
        }
    });
}
