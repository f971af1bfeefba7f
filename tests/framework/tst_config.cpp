#include "config.h"
#include "configlocal.h"
#include "fixedpath.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using Orvel::Config;
using Orvel::ConfigLocal;
using Orvel::FixedPath;
using Orvel::XmlList;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(FixedPathTest, FollowsOrvelHome)
{
    TempHome home;
    EXPECT_EQ(FixedPath::rules(7), home.path() + QStringLiteral("/rules/7"));
    EXPECT_EQ(FixedPath::rules(4294967295u), home.path() + QStringLiteral("/rules/4294967295"));
    EXPECT_EQ(FixedPath::local(), home.path() + QStringLiteral("/local"));
    qunsetenv("ORVEL_HOME");
    EXPECT_EQ(FixedPath::rules(1), QStringLiteral("/var/lib/orvel/rules/1"));
}

// Only folders named by a plain number above 0 are rule sets; the order is
// numeric, so 10 comes after 9.
TEST(FixedPathTest, ListsTheRuleSetsInNumericOrder)
{
    TempHome home;
    EXPECT_TRUE(FixedPath::ruleSets().isEmpty());
    for (const char *folder : {"9", "10", "2", "0", "07", "x1", "3.cfg"})
        QDir().mkpath(home.path() + QStringLiteral("/rules/") + QLatin1String(folder));
    home.write(QStringLiteral("rules/4"), "a file, not a folder");
    EXPECT_EQ(FixedPath::ruleSets(), (QList<quint32>{2, 9, 10}));
}

TEST(ConfigTest, LoadsByPathAloneOrByFolderAndName)
{
    TempHome home;
    home.write(QStringLiteral("rules/3/policyrules.cfg"),
               "<r><Policy><Policy>P</Policy></Policy></r>");
    const Config byPath(FixedPath::rules(3) + QStringLiteral("/policyrules.cfg"), QString());
    const Config byName(FixedPath::rules(3), QStringLiteral("policyrules.cfg"));
    EXPECT_TRUE(bool(byPath));
    EXPECT_EQ(byPath, byName);
    EXPECT_EQ(byPath.size(), 1);
}

TEST(ConfigTest, UnreadableFilesGiveAFalseEmptyListNamingTheFile)
{
    TempHome home;
    home.write(QStringLiteral("empty.cfg"), "");
    home.write(QStringLiteral("truncated.cfg"), "<cfg><a>1</a");
    QDir(home.path()).mkdir(QStringLiteral("folder.cfg"));
    const QString fifo = home.path() + QStringLiteral("/fifo.cfg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    const char *const cases[][2] = {
        {"missing.cfg", "No such file or directory"},
        {"empty.cfg", "not well-formed at line 1, column 0: Premature end of document."},
        {"truncated.cfg", "not well-formed at line 1, column 12: Premature end of document."},
        {"folder.cfg", "not a regular file"},
        {"fifo.cfg", "not a regular file"},
    };
    for (const auto &[name, why] : cases) {
        SCOPED_TRACE(name);
        TraceCapture trace;
        Config config;
        EXPECT_FALSE(config.load(home.path(), QString::fromUtf8(name)));
        EXPECT_FALSE(bool(config));
        EXPECT_TRUE(config.isEmpty());
        EXPECT_EQ(config.errorText(), QString::fromUtf8(why));
        ASSERT_FALSE(trace.lines().isEmpty());
        EXPECT_TRUE(trace.lines().first().contains(home.path() + QLatin1Char('/') + name));
    }
}

TEST(ConfigTest, SaveRoundTripsNestedListsAndOddKeys)
{
    TempHome home;
    home.write(QStringLiteral("c.cfg"), "<cfg/>");
    Config config(home.path(), QStringLiteral("c.cfg"));
    Orvel::XmlList inner;
    inner.set(QStringLiteral("LastOccurance"), "20210303140509", XmlList::Replace);
    config.set(QStringLiteral("Policy A-1-Backup-2"), inner, XmlList::Replace);
    config.set(QStringLiteral("MaxWaitSeconds"), quint32(60), XmlList::Replace);
    ASSERT_TRUE(config.save());

    const Config back(home.path(), QStringLiteral("c.cfg"));
    EXPECT_EQ(back, config);
    quint32 wait = 0;
    EXPECT_TRUE(back.get(wait, QStringLiteral("MaxWaitSeconds")));
    EXPECT_EQ(wait, 60u);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(ConfigTest, FailedSaveLeavesTheOldFileWhole)
{
    // A file-size limit makes the write of the new content fail even for root,
    // which read-only folders would not stop.
    TempHome home;
    const QByteArray old("<cfg><a>old</a></cfg>");
    home.write(QStringLiteral("c.cfg"), old);
    Config config(home.path(), QStringLiteral("c.cfg"));
    config.set(QStringLiteral("a"), QString(4096, QLatin1Char('x')), XmlList::Replace);
    TraceCapture trace;
    struct rlimit saved
    {
    };
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool saved1 = config.save();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(saved1);
    EXPECT_EQ(readFile(home.path() + QStringLiteral("/c.cfg")), old);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_TRUE(trace.texts().join(' ').contains(QStringLiteral("Cannot save")));
}

TEST(ConfigTest, SaveIntoAMissingFolderFailsCleanly)
{
    TempHome home;
    Config config(home.path() + QStringLiteral("/nowhere"), QStringLiteral("c.cfg"));
    config.set(QStringLiteral("a"), "1", XmlList::Replace);
    TraceCapture trace;
    EXPECT_FALSE(config.save());
    EXPECT_FALSE(QFileInfo::exists(home.path() + QStringLiteral("/nowhere")));
}

TEST(ConfigLocalTest, AnUnreadableStoreStartsEmptyAndIsKeptAsideBeforeTheFirstSave)
{
    TempHome home;
    const QByteArray broken("<cfg><broken>");
    const QString copy = FixedPath::local() + QStringLiteral("/scheduler.cfg.bad");
    home.write(QStringLiteral("local/scheduler.cfg"), broken);
    home.write(QStringLiteral("local/scheduler.cfg.bad"), "an older copy");
    TraceCapture faults(0);
    LogCapture log;
    ConfigLocal store(QStringLiteral("scheduler.cfg"));
    EXPECT_TRUE(store.isEmpty());
    store.set(QStringLiteral("k"), "v", XmlList::Replace);
    ASSERT_TRUE(store.save());
    ASSERT_TRUE(store.save());
    EXPECT_EQ(readFile(copy), broken);
    EXPECT_TRUE(bool(Config(FixedPath::local(), QStringLiteral("scheduler.cfg"))));
    ASSERT_EQ(faults.texts().size(), 2); // on reading, and on keeping it aside
    EXPECT_TRUE(faults.texts().last().contains(copy));
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().contains(copy));
}

TEST(ConfigLocalTest, AFailedSaveIsAFaultAndIsTriedAgainAfterTheNextDelivery)
{
    TempHome home;
    home.write(QStringLiteral("local"), "a file where the folder belongs");
    ConfigLocal store(QStringLiteral("scheduler.cfg"));
    store.set(QStringLiteral("k"), "v", XmlList::Replace);
    {
        TraceCapture faults(0);
        EXPECT_FALSE(store.save());
        EXPECT_TRUE(faults.texts().join(' ').contains(QStringLiteral("Cannot save")));
    }
    EXPECT_TRUE(store.isDirty());
    QFile::remove(home.path() + QStringLiteral("/local"));
    {
        ConfigLocal::DeferredSaves nextDelivery;
    }
    EXPECT_FALSE(store.isDirty());
    EXPECT_TRUE(bool(Config(FixedPath::local(), QStringLiteral("scheduler.cfg"))));
}

TEST(ConfigLocalTest, SavesDuringADeliveryAreWrittenOnceAtItsEnd)
{
    TempHome home;
    const QString path = FixedPath::local() + QStringLiteral("/scheduler.cfg");
    ConfigLocal store(QStringLiteral("scheduler.cfg"));
    {
        ConfigLocal::DeferredSaves delivery;
        for (quint32 i = 0; i < 100; ++i) {
            store.set(QStringLiteral("n"), i, XmlList::Replace);
            EXPECT_TRUE(store.save());
        }
        EXPECT_TRUE(store.isDirty());
        EXPECT_FALSE(QFileInfo::exists(path));
    }
    EXPECT_FALSE(store.isDirty());
    quint32 n = 0;
    EXPECT_TRUE(Config(path, QString()).get(n, QStringLiteral("n")));
    EXPECT_EQ(n, 99u);
}

TEST(ConfigLocalTest, ADirtyStoreIsWrittenWhenDestroyed)
{
    TempHome home;
    {
        ConfigLocal store(QStringLiteral("scheduler.cfg"));
        ConfigLocal::DeferredSaves delivery;
        store.set(QStringLiteral("k"), "v", XmlList::Replace);
        store.save();
    }
    EXPECT_TRUE(bool(Config(FixedPath::local(), QStringLiteral("scheduler.cfg"))));
}
