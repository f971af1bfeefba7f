#include "childmanager.h"
#include "clock.h"
#include "config.h"
#include "configlocal.h"
#include "context.h"
#include "fixedpath.h"
#include "log.h"
#include "memorytransport.h"
#include "testsupport.h"
#include "trace.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>
#include <gtest/gtest.h>
#include <sys/uio.h>

using namespace Orvel;

namespace {

QList<QByteArrayList> journal;

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

// The journal as this binary sees it: the event log's entries are kept here
// instead of reaching a journald, so that their priority and fields show.
extern "C" int sd_journal_sendv(const struct iovec *iov, int n)
{
    QByteArrayList fields;
    for (int i = 0; i < n; ++i)
        fields << QByteArray(static_cast<const char *>(iov[i].iov_base), qsizetype(iov[i].iov_len));
    journal << fields;
    return 0;
}

TEST(TraceTest, ItemsAreWrittenInTheirTextForms)
{
    XmlList list;
    list.set(QStringLiteral("k"), "v", XmlList::Replace);
    const struct
    {
        std::function<void(TraceLine &)> stream;
        QString text;
    } cases[] = {
        {[](TraceLine &l) { l << "Next:" << QStringLiteral("P-1") << QByteArray("b"); },
         "Next: P-1 b"},
        {[](TraceLine &l) { l << 42 << -3 << 7u << qint64(-1) << 1.5; }, "42 -3 7 -1 1.5"},
        {[](TraceLine &l) { l << quint64(18446744073709551615u); }, "18446744073709551615"},
        {[](TraceLine &l) { l << true << false; }, "true false"},
        {[](TraceLine &l) { l << QDateTime(QDate(2021, 3, 3), QTime(14, 5, 9)) << QDateTime(); },
         "14:05:09 Wed March 3 2021 invalid"},
        {[](TraceLine &l) { l << QDateTime(QDate(2021, 12, 26), QTime(0, 0)); },
         "00:00:00 Sun December 26 2021"},
        {[](TraceLine &l) { l << QTime(8, 5) << QTime(); }, "08:05:00 invalid"},
        {[&](TraceLine &l) { l << list; }, QString::fromUtf8(list.toBinary())},
        {[](TraceLine &l) { l << QByteArray("multi\nline"); }, "multi\\nline"},
        {[](TraceLine &l) {
             for (int value = -2; value <= 8; ++value)
                 l << MsgResult(value);
         },
         "eMsgResultUnknown eMsgResultOk eMsgResultHandled eMsgResultNotHandled eMsgResultTimeout "
         "eMsgResultIpcError eMsgResultInvalidArgs eMsgResultExit eMsgResultFailed"},
    };
    const QRegularExpression form(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} 2 f:12 )"));
    for (const auto &c : cases) {
        TraceCapture trace;
        {
            TraceLine line(2, "f", 12);
            c.stream(line);
        }
        ASSERT_EQ(trace.lines().size(), 1);
        EXPECT_TRUE(form.match(trace.lines().first()).hasMatch())
            << trace.lines().first().toStdString();
        EXPECT_EQ(trace.texts().first(), c.text);
    }
}

// ORVEL_TRACE_LEVEL is the highest level written; -1 turns tracing off,
// anything unreadable means 2.
TEST(TraceTest, TheLevelFromTheEnvironmentFiltersLines)
{
    const struct
    {
        const char *level;
        const char *written;
    } cases[] = {{"-1", "off"}, {"0", "0"}, {"3", "0123"}, {"lots", "012"}, {"", "012"}};
    for (const auto &c : cases) {
        qputenv("ORVEL_TRACE_LEVEL", c.level);
        Trace::configure();
        if (!Trace::object())
            TraceLine(0, "t", 1) << "nothing happens when off";
        QString written = Trace::object() ? "" : "off";
        for (int level = 0; Trace::object() && level <= 4; ++level)
            written += Trace::object()->doTrace(1024, level) ? QString::number(level) : "";
        EXPECT_EQ(written, QString::fromUtf8(c.written)) << c.level;
    }
    qputenv("ORVEL_TRACE_LEVEL", "4");
    Trace::configure();
    TraceCapture trace;
    *Trace::object() << "stray, without an entry";
    Trace::object()->flush();
    EXPECT_TRUE(trace.lines().isEmpty());
}

TEST(TraceTest, AppendsWholeLinesToTheTraceFile)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/trace.log");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old\n") == 4);
    old.close();
    qputenv("ORVEL_TRACE_FILE", QFile::encodeName(path));
    Trace::configure();
    TraceLine(0, "a", 1) << "first";
    TraceLine(3, "b", 2) << "second";
    qunsetenv("ORVEL_TRACE_FILE");
    Trace::configure();
    TraceLine(0, "c", 3) << "not in the file";
    const QStringList lines = readAll(path).split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("old"));
    EXPECT_TRUE(lines[1].endsWith(" 0 a:1 first"));
    EXPECT_TRUE(lines[2].endsWith(" 3 b:2 second"));
    EXPECT_TRUE(lines[3].isEmpty());
}

// The framework's own lines for faults an operator must see: each input
// writes, last, one line of this level, source and text ("%h": the home).
TEST(TraceTest, FaultsAreTracedWithTheirLevelSourceAndText)
{
    using Action = std::function<void(MemoryTransport &, const TempHome &)>;
    const auto parse = [](const char *text) { XmlList::fromText(text, QStringLiteral("test")); };
    const struct
    {
        Action action;
        const char *line;
    } cases[] = {
        {[](auto &bus, auto &) { bus.deliver(QStringLiteral("Unknown")); },
         "3 dispatcher No handler for Unknown - dropped"},
        {[](auto &bus, auto &) { bus.jumpClock(-5000); },
         "2 dispatcher Wall clock jumped by -5000 ms - pending timers expire now"},
        {[&](auto &, auto &) { parse("<l><a>"); }, "2 xmltext Not well-formed: test line 1 column"},
        {[&](auto &, auto &) { parse("<l><k type=\"uint\">x</k></l>"); },
         "2 xmltext Unusable value in test line 1 entry k type uint value x"},
        {[&](auto &, auto &) { parse("<!DOCTYPE l><l/>"); },
         "2 xmltext Refused test has a document type declaration at line 1"},
        {[](auto &, auto &) { XmlList().set(QString(), "v", XmlList::Replace); },
         "2 xmllist Refused an entry with an empty key"},
        {[](auto &, auto &home) { Config(home.path(), QStringLiteral("none.cfg")); },
         "2 config Cannot read %h/none.cfg No such file or directory"},
        {[](auto &, auto &home) { Config(home.path() + "/no", QStringLiteral("c.cfg")).save(); },
         "0 config Cannot save %h/no/c.cfg No such file or directory"},
        {[](auto &, auto &) {
             QString path;
             FixedPath::ruleFile(3, QStringLiteral("../x"), path);
         },
         "2 fixedpath Refused rules file name ../x of rule set 3 because it has a .. component"},
        {[](auto &, auto &home) {
             home.write(QStringLiteral("local/s.cfg"), "<");
             ConfigLocal store(QStringLiteral("s.cfg"));
         },
         "0 configlocal Store %h/local/s.cfg is unreadable; starting without its contents. The "
         "next save keeps it as %h/local/s.cfg.bad"},
        {[](auto &bus, auto &) {
             bus.setNameTaken(QStringLiteral("org.orvel.G.P"));
             Context::run([]() { ChildManager().initialize(1, 1); }, 3, 64, "P", "G", "");
         },
         "0 childmanager Cannot own org.orvel.G.P - another process owns it"},
    };
    LogCapture log;
    Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(12, 0)));
    for (const auto &c : cases) {
        TempHome home;
        MemoryTransport bus;
        TraceCapture trace;
        c.action(bus, home);
        ASSERT_FALSE(trace.lines().isEmpty()) << c.line;
        const QString last = trace.lines().last();
        const QString seen = last.section(' ', 1, 1) + ' ' +
                             last.section(' ', 2, 2).section(':', 0, 0) + ' ' +
                             last.section(' ', 3);
        EXPECT_TRUE(seen.startsWith(QString::fromUtf8(c.line).replace("%h", home.path())))
            << seen.toStdString();
    }
    Clock::useSystem();
}

TEST(LogTest, PlaceholdersTakeTheStreamedValuesInOrder)
{
    const struct
    {
        QStringList items;
        const char *line;
    } cases[] = {
        {{"%1s: Policy '%2s', operation '%3s'", "Backup event", "Gold", "Nightly"},
         "Backup 1 Backup event: Policy 'Gold', operation 'Nightly'"},
        {{"%2s and %1s", "one"}, "Backup 1 %2s and one"},
        {{"%1s '%2s' '%3s'", "a", "%3s", "N"}, "Backup 1 a '%3s' 'N'"},
        {{"%1s%1s", "x"}, "Backup 1 xx"},
        {{"no placeholders", "7", "8"}, "Backup 1 no placeholders 7 8"},
    };
    LogCapture log;
    Log *l = Context::logging();
    for (const auto &c : cases) {
        l->initialiseMessage(QStringLiteral("Backup"), 1, {});
        for (const QString &item : c.items)
            *l << item;
        l->sendMessage();
    }
    l->initialiseStateLogging(QStringLiteral("Scheduler"), QStringLiteral("Scheduler"), 2);
    l->sendMessage();
    *l << "late"; // after the send: no message is open
    l->sendMessage();
    QStringList expected;
    for (const auto &c : cases)
        expected << QString::fromUtf8(c.line);
    EXPECT_EQ(log.lines(), expected << QStringLiteral("State Scheduler/Scheduler 2"));
}

TEST(LogTest, WritesTimeStampedLinesToTheLogFile)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/event.log");
    qputenv("ORVEL_LOG_FILE", QFile::encodeName(path));
    Log *l = Context::logging();
    l->initialiseMessage(QStringLiteral("Backup"), 1, {});
    *l << "%1s: Policy '%2s'"
       << "Snapshot event"
       << "P";
    l->sendMessage();
    qunsetenv("ORVEL_LOG_FILE");
    const QString line = readAll(path);
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral(
                R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d Backup 1 Snapshot event: Policy 'P'\n$)"))
            .match(line)
            .hasMatch())
        << line.toStdString();
}

// Under systemd the journal takes each line with a priority from its level
// (higher levels are more severe) and the fields it is found by.
TEST(LogTest, TheJournalTakesEachLineWithItsPriorityAndFields)
{
    const struct
    {
        int level;
        const char *priority;
    } cases[] = {{0, "6"}, {1, "6"}, {2, "5"}, {3, "4"}, {4, "3"}, {5, "3"}};
    qputenv("INVOCATION_ID", "0123456789abcdef0123456789abcdef");
    Log *l = Context::logging();
    for (const auto &c : cases) {
        journal.clear();
        l->initialiseMessage(QStringLiteral("Backup"), c.level, {});
        *l << "m";
        l->setFields({{"POLICY", QStringLiteral("Gold")}});
        l->sendMessage();
        ASSERT_EQ(journal.size(), 1);
        EXPECT_EQ(journal.first(),
                  QByteArrayList({"MESSAGE=Backup " + QByteArray::number(c.level) + " m",
                                  QByteArray("PRIORITY=") + c.priority, "SYSLOG_FACILITY=3",
                                  "SYSLOG_IDENTIFIER=orvel-scheduler", "POLICY=Gold"}));
    }
    l->initialiseStateLogging(QStringLiteral("S"), QStringLiteral("G"), 4);
    l->sendMessage();
    qunsetenv("INVOCATION_ID");
    EXPECT_TRUE(journal.last().contains("PRIORITY=6") && journal.size() == 2);
}
