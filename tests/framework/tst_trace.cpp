#include "config.h"
#include "context.h"
#include "log.h"
#include "memorytransport.h"
#include "testsupport.h"
#include "trace.h"

#include <QFile>
#include <QRegularExpression>

#include <functional>
#include <gtest/gtest.h>
#include <utility>

using namespace Orvel;

TEST(TraceTest, ItemsAreWrittenInTheirTextForms)
{
    XmlList list;
    list.set("k", "v", XmlList::Replace);
    const std::pair<std::function<void(TraceLine &)>, QString> cases[] = {
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
    const QRegularExpression form(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} 2 f:12 (.*)$)");
    for (const auto &[stream, text] : cases) {
        TraceCapture trace;
        {
            TraceLine line(2, "f", 12);
            stream(line);
        }
        ASSERT_EQ(trace.lines().size(), 1);
        EXPECT_EQ(form.match(trace.lines().first()).captured(1), text);
    }
}

// The lines whose texts the documents fix: an unknown message, a file that
// cannot be read, or is not well-formed (naming line and column), and a value
// that no reader will take.
TEST(TraceTest, DocumentedLinesHaveTheirLevelSourceAndText)
{
    const std::pair<const char *, const char *> cases[] = {
        {"Unknown", "3 dispatcher No handler for Unknown - dropped"},
        {nullptr, "2 config Cannot read %f No such file or directory"},
        {"<l><a>", "2 xmltext Not well-formed: %f line 1 column 6"},
        {"<l><k type=\"uint\">x</k></l>",
         "2 xmltext Unusable value in %f line 1 entry k type uint value x"},
    };
    for (const auto &[input, line] : cases) {
        TempHome home;
        MemoryTransport bus;
        TraceCapture trace;
        const QString file = home.path() + "/c.cfg";
        if (input && *input != '<')
            bus.deliver(input);
        if (!input || *input == '<')
            Config(home.path(), input ? (home.write("c.cfg", input), "c.cfg") : "c.cfg");
        ASSERT_EQ(trace.lines().size(), 1);
        const QString seen = trace.lines().first();
        EXPECT_TRUE((seen.section(' ', 1, 1) + ' ' +
                     seen.section(' ', 2).remove(QRegularExpression(":\\d+")))
                        .startsWith(QString::fromUtf8(line).replace("%f", file)))
            << seen.toStdString();
    }
}

// ORVEL_TRACE_LEVEL is the highest level written; -1 turns tracing off,
// anything unreadable means 2.
TEST(TraceTest, TheLevelFromTheEnvironmentFiltersLines)
{
    const std::pair<const char *, const char *> cases[] = {
        {"-1", "off"}, {"0", "0"}, {"3", "0123"}, {"lots", "012"}, {"", "012"},
    };
    for (const auto &[level, written] : cases) {
        qputenv("ORVEL_TRACE_LEVEL", level);
        Trace::configure();
        if (!Trace::object())
            TraceLine(0, "t", 1) << "nothing happens when off";
        QString seen = Trace::object() ? "" : "off";
        for (int i = 0; Trace::object() && i <= 4; ++i)
            seen += Trace::object()->doTrace(1024, i) ? QString::number(i) : "";
        EXPECT_EQ(seen, QString::fromUtf8(written)) << level;
    }
    TraceCapture trace;
    *Trace::object() << "stray, without an entry";
    Trace::object()->flush();
    EXPECT_TRUE(trace.lines().isEmpty());
}

// Work that may be undone holds its lines back: a release writes them in
// order, to the hold around if there is one; a hold dropped drops them.
// Recordings see each line as it happens.
TEST(TraceTest, HeldLinesAreWrittenOnReleaseOrDropped)
{
    TraceCapture trace;
    {
        TraceRecording recording;
        TraceHold outer;
        TraceLine(2, "t", 1) << "kept";
        {
            TraceHold inner;
            TraceLine(2, "t", 2) << "dropped";
        }
        {
            TraceHold inner;
            TraceLine(2, "t", 3) << "handed out";
            inner.release();
        }
        EXPECT_TRUE(trace.lines().isEmpty());
        EXPECT_EQ(recording.lines().size(), 3);
        outer.release();
        TraceLine(2, "t", 4) << "after";
    }
    EXPECT_EQ(trace.texts(), (QStringList{"kept", "handed out", "after"}));
}

TEST(TraceTest, AppendsWholeLinesToTheTraceFile)
{
    TempHome home;
    home.write("trace.log", "old\n");
    qputenv("ORVEL_TRACE_FILE", QFile::encodeName(home.path() + "/trace.log"));
    Trace::configure();
    TraceLine(3, "b", 2) << "new";
    qunsetenv("ORVEL_TRACE_FILE");
    Trace::configure();
    TraceLine(0, "c", 3) << "not in the file";
    const QStringList lines = QString::fromUtf8(fileBytes(home.path() + "/trace.log")).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0] == "old" && lines[1].endsWith(" 3 b:2 new") && lines[2].isEmpty());
}

TEST(LogTest, PlaceholdersTakeTheStreamedValuesInOrderAndFileLinesATimeStamp)
{
    const std::pair<QStringList, QString> cases[] = {
        {{"%1s: Policy '%2s', operation '%3s'", "Backup event", "Gold", "Nightly"},
         "Backup 1 Backup event: Policy 'Gold', operation 'Nightly'"},
        {{"%2s and %1s", "one"}, "Backup 1 %2s and one"},
        {{"%1s '%2s' '%3s'", "a", "%3s", "N"}, "Backup 1 a '%3s' 'N'"},
        {{"%1s%1s", "x"}, "Backup 1 xx"},
        {{"no placeholders", "7", "8"}, "Backup 1 no placeholders 7 8"},
    };
    LogCapture log;
    Log *l = Context::logging();
    QStringList expected;
    for (const auto &[items, line] : cases) {
        l->initialiseMessage("Backup", 1, {});
        for (const QString &item : items)
            *l << item;
        l->sendMessage();
        expected << line;
    }
    l->initialiseStateLogging("Scheduler", "Scheduler", 2);
    l->sendMessage();
    *l << "late"; // after the send: no message is open
    l->sendMessage();
    EXPECT_EQ(log.lines(), expected << "State Scheduler/Scheduler 2");
    // Without the test's sink, to the file ORVEL_LOG_FILE names, time-stamped.
    Log::setSink(nullptr);
    TempHome home;
    qputenv("ORVEL_LOG_FILE", QFile::encodeName(home.path() + "/event.log"));
    l->initialiseMessage("Backup", 1, {});
    *l << "%1s: Policy '%2s'"
       << "Snapshot event"
       << "P";
    l->sendMessage();
    qunsetenv("ORVEL_LOG_FILE");
    const QString line = QString::fromUtf8(fileBytes(home.path() + "/event.log"));
    const QRegularExpression form(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d Backup 1 Snapshot event: Policy 'P'\n$)");
    EXPECT_TRUE(form.match(line).hasMatch()) << line.toStdString();
}

// Under systemd the journal takes each line with a priority from its level
// (higher levels are more severe) and the fields it is found by.
TEST(LogTest, TheJournalTakesEachLineWithItsPriorityAndFields)
{
    qputenv("INVOCATION_ID", "0123456789abcdef0123456789abcdef");
    Log *l = Context::logging();
    const std::pair<int, const char *> cases[] = {{0, "6"}, {1, "6"}, {2, "5"}, {3, "4"}, {4, "3"}};
    for (const auto &[level, priority] : cases) {
        journal.clear();
        l->initialiseMessage("Backup", level, {});
        *l << "m";
        l->setFields({{"POLICY", "Gold"}});
        l->sendMessage();
        const QByteArray message = "MESSAGE=Backup " + QByteArray::number(level) + " m";
        EXPECT_EQ(journal, QList<QByteArrayList>(
                               {{message, QByteArray("PRIORITY=") + priority, "SYSLOG_FACILITY=3",
                                 "SYSLOG_IDENTIFIER=orvel-scheduler", "POLICY=Gold"}}));
    }
    // A state line carries no fields of the firing before it.
    l->initialiseStateLogging("S", "G", 3);
    l->sendMessage();
    qunsetenv("INVOCATION_ID");
    EXPECT_EQ(journal.last(),
              QByteArrayList({"MESSAGE=State S/G 3", "PRIORITY=6", "SYSLOG_FACILITY=3",
                              "SYSLOG_IDENTIFIER=orvel-scheduler"}));
}
