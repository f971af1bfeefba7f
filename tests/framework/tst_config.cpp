#include "childmanager.h"
#include "config.h"
#include "configlocal.h"
#include "fixedpath.h"
#include "memorytransport.h"
#include "testsupport.h"
#include "xmlfeed.h"
#include "xmltext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace Orvel;

TEST(FixedPathTest, FollowsOrvelHomeAndListsRuleSetsInNumericOrder)
{
    TempHome home;
    EXPECT_EQ(FixedPath::rules(4294967295u), home.path() + QStringLiteral("/rules/4294967295"));
    EXPECT_EQ(FixedPath::local(), home.path() + QStringLiteral("/local"));
    EXPECT_TRUE(FixedPath::ruleSets().isEmpty());
    for (const char *folder : {"9", "10", "2", "0", "07", "x1", "3.cfg"})
        QDir().mkpath(home.path() + QStringLiteral("/rules/") + QLatin1String(folder));
    home.write(QStringLiteral("rules/4"), "a file, not a folder");
    EXPECT_EQ(FixedPath::ruleSets(), (QList<quint32>{2, 9, 10}));
    qunsetenv("ORVEL_HOME");
    EXPECT_EQ(FixedPath::rules(1), QStringLiteral("/var/lib/orvel/rules/1"));
}

// A name from the rules must stay inside the rule set's folder. A NUL would
// end the name early at the system call: "..\0x" would reach it as "..".
TEST(FixedPathTest, RuleFileNamesStayInsideTheRulesFolder)
{
    const std::pair<QString, const char *> cases[] = {
        {"daily.xml", nullptr},
        {"calendars/holidays.xml", nullptr},
        {"./daily.xml", nullptr},
        {"a..b/..c", nullptr},
        {"", "is empty"},
        {"/etc/passwd", "is absolute"},
        {"../2/daily.xml", "has a .. component"},
        {"calendars/..", "has a .. component"},
        {QStringLiteral("..") + QChar(0) + QStringLiteral("x"), "contains a NUL character"},
    };
    TempHome home;
    for (const auto &[name, refusal] : cases) {
        TraceCapture trace;
        QString path = QStringLiteral("untouched");
        EXPECT_EQ(FixedPath::ruleFile(3, name, path), !refusal);
        EXPECT_EQ(path, refusal ? QStringLiteral("untouched") : FixedPath::rules(3) + '/' + name);
        EXPECT_EQ(trace.texts().join(' ').contains(refusal ? refusal : "Refused"), bool(refusal))
            << name.toStdString();
    }
}

// Every file a reader refuses: at once (a FIFO or a device that were read
// would block or never end), with one trace line naming the path and why, an
// empty list converting to false, and a reader that reads a good file after.
TEST(ConfigTest, RefusesWhatIsNotAWholeWellFormedRegularFile)
{
    TempHome home;
    const QString h = home.path();
    home.write("cut.cfg", "<cfg><a>1</a");
    home.write("big.cfg", "<l>"); // made sparse: the size is there, the bytes are not
    ASSERT_EQ(::truncate(qPrintable(h + "/big.cfg"), XmlText::kMaxTextBytes + 1), 0);
    ASSERT_TRUE(QDir(h).mkdir("d.cfg") && ::mkfifo(qPrintable(h + "/f.cfg"), 0600) == 0);
    ASSERT_TRUE(QFile::link(h + "/b.cfg", h + "/a.cfg") && QFile::link(h + "/a.cfg", h + "/b.cfg"));
    const std::pair<QString, const char *> cases[] = {
        {h + "/missing.cfg", "No such file or directory"},
        {h + "/cut.cfg", "Not well-formed"},
        {h + "/big.cfg", "larger than 67108864 bytes"},
        {h + "/d.cfg", "not a regular file"},
        {h + "/f.cfg", "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {h + "/a.cfg", "symbolic links"},
        {"/proc/self/mem", "Input/output error"},             // a regular file whose read fails
        {"/proc/self/pagemap", "larger than 67108864 bytes"}, // one longer than its size says
    };
    home.write("good.cfg", "<l><a>1</a></l>");
    for (const auto &[path, reason] : cases) {
        TraceCapture trace;
        Config config;
        EXPECT_FALSE(config.load(path, QString()));
        EXPECT_TRUE(!config && config.isEmpty());
        EXPECT_TRUE(config.errorText().contains(QLatin1String(reason), Qt::CaseInsensitive));
        ASSERT_EQ(trace.lines().size(), 1);
        EXPECT_TRUE(trace.lines().first().contains(path) && trace.lines().first().contains(reason))
            << trace.lines().first().toStdString();
        EXPECT_TRUE(config.load(h, "good.cfg") && config.size() == 1 &&
                    config.errorText().isEmpty());
    }
}

// A feed hands over what a Config reads, entry for entry and in order, or
// ends early, undecided, for any file it leaves to Config.
TEST(XmlFeedTest, HandsOverTheTopLevelEntriesOfPlainFilesOnly)
{
    const auto entries = [](const XmlList &list, QStringList &out) {
        for (XmlListIterator it = list.first(); !it.isNull(); it.next()) {
            QString text;
            it.getText(text);
            out << it.name() + '=' + text;
        }
    };
    QByteArray many = "<l>"; // more than one batch, the last one short
    for (int i = 0; i < 40; ++i)
        many += "<e" + QByteArray::number(i % 3) + ">" + QByteArray::number(i) + "</e" +
                QByteArray::number(i % 3) + ">";
    // (text, read whole, handed over in more than one batch)
    const std::tuple<QByteArray, bool, bool> cases[] = {
        {many + "</l>", true, true},
        {"<l/>", true, false},
        {"<l><a><b>1</b></a></l>", true, false},
        {many + "<!-- a comment --></l>", false, true},
        {many + "<n>caf\xc3\xa9</n></l>", false, false},
        {many, false, true},
        {QByteArray(), false, false},
    };
    TempHome home;
    const QString path = home.path() + "/f.cfg";
    for (const auto &[text, whole, early] : cases) {
        SCOPED_TRACE(text.right(30).constData());
        QFile::remove(path);
        if (!text.isNull())
            home.write("f.cfg", text);
        TraceCapture trace;
        XmlFeed feed(path);
        QStringList fed;
        int batches = 0;
        for (XmlList batch; feed.next(batch); ++batches)
            entries(batch, fed);
        ASSERT_EQ(feed.isWhole(), whole);
        EXPECT_EQ(batches > 1, early);
        EXPECT_TRUE(trace.lines().isEmpty());
        QStringList read;
        entries(Config(path, QString()), read);
        EXPECT_TRUE(!whole || fed == read) << fed.join(' ').toStdString();
    }
}

TEST(ConfigTest, SaveReplacesTheFileWholeOrNotAtAll)
{
    TempHome home;
    const QByteArray old("<cfg><a>old</a></cfg>");
    home.write(QStringLiteral("c.cfg"), old);
    Config config(home.path(), QStringLiteral("c.cfg"));
    config.set(QStringLiteral("a"), QString(4096, QLatin1Char('x')), XmlList::Replace);
    // A file-size limit makes the write fail even for root, which read-only
    // folders would not stop.
    struct rlimit saved = {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool savedOverLimit = config.save();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(savedOverLimit);
    EXPECT_EQ(fileBytes(home.path() + QStringLiteral("/c.cfg")), old);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    config.set(QStringLiteral("Policy A-1"), Config(home.path(), "c.cfg"), XmlList::Replace);
    ASSERT_TRUE(config.save());
    EXPECT_EQ(Config(home.path(), QStringLiteral("c.cfg")), config);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    Config elsewhere(home.path() + QStringLiteral("/nowhere"), QStringLiteral("c.cfg"));
    EXPECT_FALSE(elsewhere.save() || Config().save());
    EXPECT_FALSE(QFileInfo::exists(home.path() + QStringLiteral("/nowhere")));
}

// The store's life, step by step: s set "n" and save, ( and ) a delivery's
// deferred saves, m a delivery whose handler does "ss", x destroy the store,
// u unblock its folder. After each step the store file is noted: - absent,
// ! unreadable, . without "n", else its "n"; F when a save answered false.
TEST(ConfigLocalTest, SavesAreDeferredRetriedAndNeverLoseAnUnreadableFile)
{
    // The store file before, the steps, the store file after each, what
    // "scheduler.cfg.bad" holds at the end, level-0 trace lines, event-log lines.
    const std::tuple<const char *, const char *, const char *, const char *, int, int> cases[] = {
        {nullptr, "()x", "---", "", 0, 0},   {"<c/>", "ss", "12", "", 0, 0},
        {"<c><broken>", "x", "!", "", 1, 0}, {"<c><broken>", "ss", "12", "<c><broken>", 2, 1},
        {nullptr, "(ss)", "---2", "", 0, 0}, {nullptr, "((s))", "----1", "", 0, 0},
        {nullptr, "m", "--2", "", 0, 0},     {nullptr, "(sx)", "--11", "", 0, 0},
        {"/", "su()", "F--1", "", 1, 0}, // "/" makes "local" a file
    };
    for (const auto &[before, steps, files, kept, faults, logs] : cases) {
        SCOPED_TRACE(steps);
        TempHome home;
        const QString path = FixedPath::local() + QStringLiteral("/scheduler.cfg");
        if (before)
            home.write(qstrcmp(before, "/") ? "local/scheduler.cfg" : "local", before);
        MemoryTransport bus;
        TraceCapture trace(0);
        LogCapture log;
        auto store = std::make_unique<ConfigLocal>(QStringLiteral("scheduler.cfg"));
        std::vector<std::unique_ptr<ConfigLocal::DeferredSaves>> deliveries;
        QString seen;
        quint32 n = 0;
        std::function<void(char)> step = [&](char s) {
            if (s == 's') {
                store->set(QStringLiteral("n"), ++n, XmlList::Replace);
                if (!store->save())
                    return void(seen += 'F');
            } else if (s == '(') {
                deliveries.push_back(std::make_unique<ConfigLocal::DeferredSaves>());
            } else if (s == ')') {
                deliveries.pop_back();
            } else if (s == 'm') {
                bus.deliver(QStringLiteral("Save"));
            } else if (s == 'x') {
                store.reset();
            } else if (s == 'u') {
                QFile::remove(home.path() + QStringLiteral("/local"));
            }
            const Config now(path, QString());
            quint32 value = 0;
            seen += !QFileInfo::exists(path) ? QStringLiteral("-")
                    : !now                   ? QStringLiteral("!")
                    : now.get(value, "n")    ? QString::number(value)
                                             : QStringLiteral(".");
        };
        bus.addHandler(QStringLiteral("Save"), ChildManager::handler([&](const Msg &) {
                           step('s');
                           step('s');
                           return eMsgResultHandled;
                       }));
        for (const char *s = steps; *s; ++s)
            step(*s);
        EXPECT_EQ(seen, QString::fromUtf8(files));
        EXPECT_EQ(fileBytes(path + ".bad"), QByteArray(kept));
        EXPECT_EQ(trace.lines().size(), faults) << trace.lines().join('\n').toStdString();
        EXPECT_EQ(log.lines().size(), logs);
        EXPECT_EQ(log.lines().join(' ').contains(path + ".bad"), logs > 0);
    }
}
