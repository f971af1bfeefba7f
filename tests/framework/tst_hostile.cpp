// Inputs nobody writes on purpose: each must be refused with one trace line
// naming the input and the reason, leave an empty list that converts to false,
// and leave the reader usable. Every fault a fuzzer finds becomes a row here
// and a file in fuzz/corpus/.

#include "config.h"
#include "fixedpath.h"
#include "testsupport.h"
#include "xmllist.h"
#include "xmltext.h"

#include <QDir>
#include <QFile>

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using Orvel::Config;
using Orvel::FixedPath;
namespace XmlText = Orvel::XmlText;
using Orvel::XmlList;

namespace {

QByteArray nested(int levels, const QByteArray &inner = QByteArray())
{
    return QByteArray("<a>").repeated(levels) + inner + QByteArray("</a>").repeated(levels);
}

QByteArray billionLaughs()
{
    QByteArray text = "<?xml version=\"1.0\"?>\n<!DOCTYPE l [\n<!ENTITY l0 \"ha\">\n";
    for (int i = 1; i <= 9; ++i)
        text += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">\n";
    return text + "]>\n<l><a>&l9;</a></l>";
}

QByteArray withAttributes(int count)
{
    QByteArray text = "<l><a";
    for (int i = 0; i < count; ++i)
        text += " x" + QByteArray::number(i) + "=\"v\"";
    return text + "/></l>";
}

struct HostileText
{
    const char *name;
    std::function<QByteArray()> text;
    const char *reason;
};

const HostileText hostileTexts[] = {
    {"200,000 levels deep", [] { return nested(200000); }, "is nested deeper than 32 levels"},
    {"200,000 levels never closed", [] { return QByteArray("<a>").repeated(200000); },
     "is nested deeper than 32 levels"},
    {"one level past the limit", [] { return nested(XmlList::kMaxDepth + 1); },
     "is nested deeper than 32 levels"},
    {"billion laughs", billionLaughs, "has a document type declaration"},
    {"external entity",
     [] {
         return QByteArray(
             "<!DOCTYPE l [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><l><a>&x;</a></l>");
     },
     "has a document type declaration"},
    {"external document type", [] { return QByteArray("<!DOCTYPE l SYSTEM \"/dev/zero\"><l/>"); },
     "has a document type declaration"},
    {"body one byte over the limit",
     [] { return "<l>" + QByteArray(XmlText::kMaxTextBytes - 3 - 4 + 1, 'x') + "</l>"; },
     "is larger than 67108864 bytes"},
    {"a million and one elements",
     [] { return "<l>" + QByteArray("<a/>").repeated(XmlText::kMaxNodes) + "</l>"; },
     "has more than 1000000 elements and attributes"},
    {"100,000 attributes on one element", [] { return withAttributes(100000); },
     "has an element with more than 64 attributes"},
    {"empty key", [] { return QByteArray("<l><entry name=\"\">x</entry></l>"); },
     "has an empty key"},
    {"element name one past the key limit",
     [] {
         const QByteArray key(XmlList::kMaxKeyLength + 1, 'k');
         return "<l><" + key + ">x</" + key + "></l>";
     },
     "has a key longer than 1024 characters"},
    {"name attribute one past the key limit",
     [] {
         return "<l><entry name=\"" + QByteArray(XmlList::kMaxKeyLength + 1, 'k') +
                "\">x</entry></l>";
     },
     "has a key longer than 1024 characters"},
};

TEST(HostileXmlList, RefusedWithOneTraceLineAndAFalseEmptyList)
{
    for (const HostileText &c : hostileTexts) {
        SCOPED_TRACE(c.name);
        TraceCapture trace;
        XmlList list = XmlList::fromText(c.text(), QStringLiteral("body-of-test"));
        EXPECT_FALSE(bool(list));
        EXPECT_TRUE(list.isEmpty());
        ASSERT_EQ(trace.lines().size(), 1);
        EXPECT_TRUE(trace.lines().first().contains(QStringLiteral(" 2 xmltext:")));
        EXPECT_TRUE(trace.texts().first().startsWith(QStringLiteral("Refused body-of-test")));
        EXPECT_TRUE(trace.texts().first().contains(QString::fromUtf8(c.reason)))
            << trace.texts().first().toStdString();
        // Still a usable list.
        list.set(QStringLiteral("a"), quint32(1), XmlList::Replace);
        EXPECT_TRUE(bool(list));
        EXPECT_EQ(list.size(), 1);
    }
}

TEST(HostileXmlList, AcceptsWhatIsExactlyAtEachLimit)
{
    const QByteArray key(XmlList::kMaxKeyLength, 'k');
    const QByteArray texts[] = {
        nested(XmlList::kMaxDepth, "x"),
        "<l><" + key + ">x</" + key + "><entry name=\"" + key + "\"/></l>",
        withAttributes(XmlText::kMaxAttributes),
        // Equals signs and quotes in comments, text and values are not attributes.
        "<l a=\"=\"><!-- " + QByteArray("= '").repeated(100) + " --><b>" +
            QByteArray("=").repeated(100) + "</b><?pi " + QByteArray("=").repeated(100) +
            "?><![CDATA[" + QByteArray("=").repeated(100) + "]]></l>",
    };
    for (const QByteArray &text : texts) {
        SCOPED_TRACE(text.left(80).toStdString());
        TraceCapture trace;
        const XmlList list = XmlList::fromText(text, QStringLiteral("test"));
        EXPECT_TRUE(bool(list));
        EXPECT_TRUE(trace.lines().isEmpty());
        EXPECT_EQ(XmlList::fromText(list.toBinary(), QStringLiteral("again")), list);
    }
}

struct HostileNumber
{
    const char *name;
    const char *text;
    bool traced;
};

TEST(HostileXmlList, NumbersBeyondTheirTypeAreNeverWrapped)
{
    const HostileNumber cases[] = {
        {"uint one past the top", "<l><n type=\"uint\">4294967296</n></l>", true},
        {"uint past 64 bits", "<l><n type=\"uint\">18446744073709551617</n></l>", true},
        {"int one past the top", "<l><n type=\"int\">2147483648</n></l>", true},
        {"int one below the bottom", "<l><n type=\"int\">-2147483649</n></l>", true},
        {"negative uint", "<l><n type=\"uint\">-1</n></l>", true},
        {"untyped past 64 bits", "<l><n>99999999999999999999999</n></l>", false},
    };
    for (const HostileNumber &c : cases) {
        SCOPED_TRACE(c.name);
        TraceCapture trace;
        const XmlList list = XmlList::fromText(c.text, QStringLiteral("test"));
        quint32 u = 7;
        qint32 i = 7;
        EXPECT_FALSE(list.get(u, QStringLiteral("n")));
        EXPECT_FALSE(list.get(i, QStringLiteral("n")));
        EXPECT_EQ(u, 7u);
        EXPECT_EQ(i, 7);
        EXPECT_EQ(trace.texts().join(' ').contains(QStringLiteral("Unusable value in test")),
                  c.traced);
    }
}

TEST(HostileXmlList, SettersRefuseWhatCouldNotBeReadBack)
{
    XmlList deep;
    for (int level = 1; level < XmlList::kMaxDepth; ++level) {
        XmlList outer;
        outer.set(QStringLiteral("a"), deep, XmlList::Replace);
        deep = outer;
    }
    XmlList list;
    list.set(QStringLiteral("kept"), "v", XmlList::Replace);
    const XmlList before = list;
    TraceCapture trace;
    list.set(QString(), "v", XmlList::Replace);
    list.set(QString(XmlList::kMaxKeyLength + 1, QLatin1Char('k')), quint32(1), XmlList::Replace);
    list.set(QStringLiteral("deep"), deep, XmlList::Replace);
    EXPECT_EQ(list, before);
    EXPECT_EQ(trace.lines().size(), 3);
    EXPECT_TRUE(trace.texts().join(' ').contains(QStringLiteral("nested deeper than 32 levels")));

    // One level less still fits, and reads back.
    XmlList inner;
    ASSERT_TRUE(deep.get(inner, QStringLiteral("a")));
    list.set(QStringLiteral("deep"), inner, XmlList::Replace);
    EXPECT_EQ(list.size(), 2);
    EXPECT_EQ(XmlList::fromText(list.toBinary(), QStringLiteral("again")), list);
}

// Each path is made in a fresh home and must be refused at once: a FIFO or a
// device that were read would block or never end.
struct HostilePath
{
    const char *name;
    std::function<QString(const QString &home)> make;
    const char *reason;
};

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}

const HostilePath hostilePaths[] = {
    {"folder",
     [](const QString &home) {
         QDir(home).mkdir(QStringLiteral("d.cfg"));
         return home + QStringLiteral("/d.cfg");
     },
     "not a regular file"},
    {"FIFO",
     [](const QString &home) {
         const QString path = home + QStringLiteral("/f.cfg");
         return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
     },
     "not a regular file"},
    {"device", [](const QString &) { return QStringLiteral("/dev/zero"); }, "not a regular file"},
    {"symbolic link loop",
     [](const QString &home) {
         const QString a = home + QStringLiteral("/a.cfg");
         QFile::link(home + QStringLiteral("/b.cfg"), a);
         QFile::link(a, home + QStringLiteral("/b.cfg"));
         return a;
     },
     "symbolic links"},
    {"file one byte over the limit",
     [](const QString &home) {
         const QString path = writeFile(home + QStringLiteral("/big.cfg"), "<l>");
         // Sparse: the size is there, the bytes are not.
         return ::truncate(QFile::encodeName(path).constData(), XmlText::kMaxTextBytes + 1) == 0
                    ? path
                    : QString();
     },
     "larger than 67108864 bytes"},
    {"file 200,000 levels deep",
     [](const QString &home) {
         return writeFile(home + QStringLiteral("/deep.cfg"), nested(200000));
     },
     "is nested deeper than 32 levels"},
    {"file with a document type",
     [](const QString &home) {
         return writeFile(home + QStringLiteral("/dtd.cfg"), billionLaughs());
     },
     "has a document type declaration"},
};

TEST(HostileConfig, RefusedAtOnceWithOneTraceLineNamingThePath)
{
    for (const HostilePath &c : hostilePaths) {
        SCOPED_TRACE(c.name);
        TempHome home;
        const QString path = c.make(home.path());
        ASSERT_FALSE(path.isEmpty());
        TraceCapture trace;
        Config config;
        EXPECT_FALSE(config.load(path, QString()));
        EXPECT_FALSE(bool(config));
        EXPECT_TRUE(config.isEmpty());
        ASSERT_EQ(trace.lines().size(), 1);
        EXPECT_TRUE(trace.lines().first().contains(QStringLiteral(" 2 ")));
        EXPECT_TRUE(trace.lines().first().contains(path));
        EXPECT_TRUE(trace.lines().first().contains(QString::fromUtf8(c.reason)))
            << trace.lines().first().toStdString();
        // The same object reads a good file afterwards.
        home.write(QStringLiteral("good.cfg"), "<l><a>1</a></l>");
        EXPECT_TRUE(config.load(home.path(), QStringLiteral("good.cfg")));
        EXPECT_EQ(config.size(), 1);
    }
}

struct RuleFileName
{
    const char *name;
    bool inside;
};

TEST(HostileRuleFileNames, StayInsideTheRulesFolder)
{
    const RuleFileName cases[] = {
        {"daily.xml", true},
        {"calendars/holidays.xml", true},
        {"./daily.xml", true},
        {"a..b/..c", true},
        {"", false},
        {"/etc/passwd", false},
        {"../2/daily.xml", false},
        {"calendars/../../2/daily.xml", false},
        {"calendars/..", false},
        {"..", false},
    };
    TempHome home;
    for (const RuleFileName &c : cases) {
        SCOPED_TRACE(c.name);
        TraceCapture trace;
        QString path = QStringLiteral("untouched");
        EXPECT_EQ(FixedPath::ruleFile(3, QString::fromUtf8(c.name), path), c.inside);
        if (c.inside) {
            EXPECT_EQ(path, FixedPath::rules(3) + QLatin1Char('/') + QString::fromUtf8(c.name));
            EXPECT_TRUE(trace.lines().isEmpty());
        } else {
            EXPECT_EQ(path, QStringLiteral("untouched"));
            ASSERT_EQ(trace.lines().size(), 1);
            EXPECT_TRUE(
                trace.texts().first().startsWith(QStringLiteral("Refused rules file name")));
        }
    }
}

TEST(HostileRuleFileNames, ANulCannotHideAParentStep)
{
    // "..\0x" would reach the system as "..".
    const QString name = QStringLiteral("..") + QChar(0) + QStringLiteral("x");
    TraceCapture trace;
    QString path;
    EXPECT_FALSE(FixedPath::ruleFile(3, name, path));
    EXPECT_TRUE(trace.texts().join(' ').contains(QStringLiteral("NUL")));
}

} // namespace
