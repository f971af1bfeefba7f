#include "context.h"
#include "log.h"
#include "testsupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using Orvel::Context;
using Orvel::Log;

TEST(LogTest, PlaceholdersTakeTheStreamedValuesInOrder)
{
    LogCapture log;
    Log *l = Context::logging();
    ASSERT_NE(l, nullptr);
    const auto send = [l](const char *type, int level, const QStringList &items) {
        l->initialiseMessage(type, level, {});
        for (const QString &item : items)
            *l << item;
        l->sendMessage();
    };
    send("Backup", 1, {"%1s: Policy '%2s', operation '%3s'", "Backup event", "Gold", "Nightly"});
    send("Replication", 4, {"Node Manager failed to go ready in a timely manner"});
    send("Backup", 1, {"%2s and %1s", "one"});
    send("Backup", 1, {"%1s: Policy '%2s', operation '%3s'", "Backup event", "%3s", "N"});
    l->initialiseMessage("Backup", 1, {});
    *l << "no placeholders" << 7;
    l->sendMessage();
    EXPECT_EQ(
        log.lines(),
        QStringList({"Backup 1 Backup event: Policy 'Gold', operation 'Nightly'",
                     "Replication 4 Node Manager failed to go ready in a timely manner",
                     "Backup 1 %2s and one", "Backup 1 Backup event: Policy '%3s', operation 'N'",
                     "Backup 1 no placeholders 7"}));
}

TEST(LogTest, StateLogging)
{
    LogCapture log;
    Log *l = Context::logging();
    l->initialiseStateLogging(QStringLiteral("Scheduler"), QStringLiteral("Scheduler"), 2);
    l->sendMessage();
    l->sendMessage(); // a second send without a new message writes nothing
    EXPECT_EQ(log.lines(), QStringList({"State Scheduler/Scheduler 2"}));
}

TEST(LogTest, WritesTimeStampedLinesToTheLogFile)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/event.log");
    qputenv("ORVEL_LOG_FILE", QFile::encodeName(path));
    Log *l = Context::logging();
    l->initialiseMessage(QStringLiteral("Backup"), 1, {});
    *l << "%1s: Policy '%2s', operation '%3s'"
       << "Snapshot event"
       << "P"
       << "O";
    l->sendMessage();
    qunsetenv("ORVEL_LOG_FILE");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString line = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral(
                R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d Backup 1 Snapshot event: Policy 'P', operation 'O'\n$)"))
            .match(line)
            .hasMatch())
        << line.toStdString();
}
