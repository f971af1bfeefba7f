#include "testsupport.h"
#include "trace.h"
#include "xmllist.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using Orvel::Trace;
using Orvel::TraceLine;
using Orvel::XmlList;

namespace {

// Sets an environment variable for one scope and re-reads the trace setup.
class TraceEnvironment
{
public:
    TraceEnvironment(const char *level, const QByteArray &file = QByteArray())
    {
        qputenv("ORVEL_TRACE_LEVEL", level);
        if (file.isEmpty())
            qunsetenv("ORVEL_TRACE_FILE");
        else
            qputenv("ORVEL_TRACE_FILE", file);
        Trace::configure();
    }
    ~TraceEnvironment()
    {
        qputenv("ORVEL_TRACE_LEVEL", "4");
        qunsetenv("ORVEL_TRACE_FILE");
        Trace::configure();
    }
};

} // namespace

TEST(TraceTest, LineFormatAndItems)
{
    TraceCapture trace;
    Orvel::XmlList list;
    list.set(QStringLiteral("k"), "v", XmlList::Replace);
    TraceLine(2, "schedulelist", 123) << "Next schedule:" << QStringLiteral("P-1-Backup-1") << 42
                                      << -3 << true << QDateTime(QDate(2021, 3, 3), QTime(14, 5, 9))
                                      << QDateTime() << list << QByteArray("multi\nline");
    ASSERT_EQ(trace.lines().size(), 1);
    const QString line = trace.lines().first();
    const QRegularExpression form(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} 2 schedulelist:123 (.*)$)"));
    const auto match = form.match(line);
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();
    EXPECT_EQ(match.captured(1),
              QStringLiteral("Next schedule: P-1-Backup-1 42 -3 true 14:05:09 Wed March 3 2021 "
                             "invalid <list><k type=\"text\">v</k></list> multi\\nline"));
}

TEST(TraceTest, LevelsAboveTheConfiguredOneAreDropped)
{
    TraceCapture trace(2);
    for (int level = 0; level <= 4; ++level)
        TraceLine(level, "t", level) << "level" << level;
    EXPECT_EQ(trace.texts(), QStringList({"level 0", "level 1", "level 2"}));
}

TEST(TraceTest, MinusOneTurnsTracingOffGarbageMeansTwo)
{
    {
        TraceEnvironment environment("-1");
        EXPECT_EQ(Trace::object(), nullptr);
        TraceLine(0, "t", 1) << "nothing happens";
    }
    TraceEnvironment environment("lots");
    ASSERT_NE(Trace::object(), nullptr);
    EXPECT_TRUE(Trace::object()->doTrace(1024, 2));
    EXPECT_FALSE(Trace::object()->doTrace(1024, 3));
}

TEST(TraceTest, AppendsWholeLinesToTheTraceFile)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/trace.log");
    {
        TraceEnvironment environment("4", QFile::encodeName(path));
        TraceLine(0, "a", 1) << "first";
        TraceLine(3, "b", 2) << "second";
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(" 0 a:1 first"));
    EXPECT_TRUE(lines[1].endsWith(" 3 b:2 second"));
    EXPECT_TRUE(lines[2].isEmpty());
}

TEST(TraceTest, ItemsStreamedWithoutEntryAreIgnored)
{
    TraceCapture trace;
    Trace *t = Trace::object();
    *t << "stray";
    t->flush();
    EXPECT_TRUE(trace.lines().isEmpty());
}
