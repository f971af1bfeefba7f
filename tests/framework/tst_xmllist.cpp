#include "plainxml.h"
#include "testsupport.h"
#include "xmlentries.h"
#include "xmllist.h"
#include "xmltext.h"

#include <functional>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>

using Orvel::XmlList;
using Orvel::XmlListIterator;

namespace {

constexpr int R = XmlList::Replace;
constexpr int A = XmlList::Append;

QByteArray nested(int levels, const QByteArray &inner = QByteArray())
{
    return QByteArray("<a>").repeated(levels) + inner + QByteArray("</a>").repeated(levels);
}

QByteArray withAttributes(int count)
{
    QByteArray text = "<l><a";
    for (int i = 0; i < count; ++i)
        text += " x" + QByteArray::number(i) + "=\"v\"";
    return text + "/></l>";
}

// What the first entry "k" answers: "position:type", then "form=value" for
// every get() that answers; "absent" when there is none. A get() that
// answers false must leave its output as it was.
QString answers(const XmlList &list)
{
    const QString k = QStringLiteral("k");
    QString t = QStringLiteral("-");
    quint32 u = 7;
    qint32 s = 7;
    bool b = true;
    XmlList sub = parsed("<m><x/></m>");
    XmlListIterator at = list.first();
    int index = 0;
    for (; !at.isNull() && at.name() != k; at.next())
        ++index;
    const bool got[] = {list.get(t, k), list.get(u, k), list.get(s, k), list.get(b, k),
                        list.get(sub, k)};
    const QString values[] = {
        "text=" + t, "uint=" + QString::number(u), "int=" + QString::number(s),
        QString("bool=") + (b ? "true" : "false"), "list=" + QString::number(sub.size())};
    const char *untouched[] = {"text=-", "uint=7", "int=7", "bool=true", "list=1"};
    QStringList items = {at.isNull() ? "absent"
                                     : QStringLiteral("%1:%2").arg(index).arg(at.type())};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(got[i] || values[i] == untouched[i]) << values[i].toStdString();
        items << (got[i] ? values[i] : QString());
    }
    QString atText;
    EXPECT_EQ(list.get(atText, at), got[0]);
    EXPECT_EQ(list.get(sub, at), got[4]);
    EXPECT_EQ(list.contains(k), !at.isNull());
    items.removeAll(QString());
    return items.join(' ');
}

// A row that reads `entries` from the text form.
std::function<void(XmlList &)> from(const QByteArray &entries)
{
    return [entries](XmlList &list) { list = parsed("<l>" + entries + "</l>"); };
}

} // namespace

// An untyped leaf answers every form whose strict parse succeeds; a typed
// leaf only its own, and a value no get() will answer is traced. What is set
// answers as its type, and everything reads back from the text form, on one
// line: what XML cannot carry as it stands is escaped, control characters it
// cannot carry at all become U+FFFD. What could not be read back is refused
// with a trace line.
TEST(XmlListTest, EntriesAnswerAsTheirTypeAndSurviveTheTextForm)
{
    const QByteArray skip = QByteArray("<j/>").repeated(20); // past the lists searched by a walk
    XmlList deep; // one level short of the deepest a list may be
    for (int level = 2; level < XmlList::kMaxDepth; ++level) {
        XmlList outer;
        outer.set(QStringLiteral("k"), deep, R);
        deep = outer;
    }
    const QString longest(XmlList::kMaxKeyLength, QLatin1Char('k'));
    const std::pair<std::function<void(XmlList &)>, const char *> cases[] = {
        {from("<k>42</k>"), "0:2 text=42 uint=42 int=42"},
        {from("<k>0</k>"), "0:2 text=0 uint=0 int=0 bool=false"},
        {from("<k>1</k>"), "0:2 text=1 uint=1 int=1 bool=true"},
        {from("<k>hello</k>"), "0:2 text=hello"},
        {from("<k>TRUE</k>"), "0:2 text=TRUE bool=true"},
        {from("<k>False</k>"), "0:2 text=False bool=false"},
        {from("<k>-7</k>"), "0:2 text=-7 int=-7"},
        {from("<k>+5</k>"), "0:2 text=+5"},
        {from("<k> 5</k>"), "0:2 text= 5"},
        {from("<k>5x</k>"), "0:2 text=5x"},
        {from("<k>4294967296</k>"), "0:2 text=4294967296"},
        {from("<k/>"), "0:2 text="},
        {from("<k> </k>"), "0:2 text="},
        {from("<k type=\"text\">12</k>"), "0:2 text=12"},
        {from("<k type=\"uint\">4294967295</k>"), "0:3 uint=4294967295"},
        {from("<k type=\"uint\"> 12</k>"), "0:3 traced"},
        {from("<k type=\"int\">-2147483648</k>"), "0:5 int=-2147483648"},
        {from("<k type=\"int\">1 </k>"), "0:5 traced"},
        {from("<k type=\"bool\">1</k>"), "0:4 bool=true"},
        {from("<k type=\"bool\">yes</k>"), "0:4 traced"},
        {from("<k type=\"float\">1.5</k>"), "0:0 traced"},
        {from("<k><i>x</i></k>"), "0:1 list=1"},
        {from("<entry name=\"k\" type=\"bool\">true</entry>"), "0:4 bool=true"},
        {from("<K>2</K><k>1</k><k>3</k>"), "1:2 text=1 uint=1 int=1 bool=true"},
        {from("<j>1</j>"), "absent"},
        {from("<k>7</k><k>8</k>" + skip), "0:2 text=7 uint=7 int=7"},
        {from(skip + "<k>7</k><k>8</k>"), "20:2 text=7 uint=7 int=7"},
        {[](XmlList &l) { l.set("k", "&<>\"'", R); }, "0:2 text=&<>\"'"},
        {[](XmlList &l) { l.set("k", "a\r\n\tb", R); }, "0:2 text=a\r\n\tb"},
        {[](XmlList &l) { l.set("k", "\x01x", R); }, "0:2 text=\xef\xbf\xbdx"},
        {[](XmlList &l) { l.set("k", "~\xc2\x80", R); }, "0:2 text=~\xc2\x80"},
        {[](XmlList &l) { l.set("k", quint32(4000000000u), R); }, "0:3 uint=4000000000"},
        {[](XmlList &l) { l.set("k", qint32(-5), R); }, "0:5 int=-5"},
        {[](XmlList &l) { l.set("k", false, R); }, "0:4 bool=false"},
        {[](XmlList &l) { l.set("k", XmlList(), R); }, "0:1 list=0"},
        {[](XmlList &l) { l.set("k", "1", R), l.set("j", "", R), l.set("k", 3u, R); },
         "0:3 uint=3"},
        {[](XmlList &l) { l.set("k", "1", R), l.set("k", "2", A); }, "0:2 text=1"},
        {[&](XmlList &l) { l.set("k", deep, R); }, "0:1 list=1"},
        {[&](XmlList &l) { l.set(longest, "v", R), l.set("k", quint32(l.size()), R); },
         "1:3 uint=1"},
        {[](XmlList &l) { l.set("", "v", R); }, "absent traced"},
        {[&](XmlList &l) { l.set(longest + 'k', "v", R); }, "absent traced"},
        {[&](XmlList &l) {
             XmlList o;
             l.set("j", deep, R), o.set("k", l, R), l = o;
         },
         "absent traced"},
    };
    for (const auto &[set, expected] : cases) {
        XmlList list;
        TraceCapture trace;
        set(list);
        const QByteArray text = list.toBinary();
        EXPECT_FALSE(text.contains('\n')) << text.data();
        EXPECT_EQ(parsed(text), list);
        EXPECT_EQ(answers(parsed(text)) + (trace.lines().isEmpty() ? "" : " traced"),
                  QString::fromUtf8(expected));
    }
    for (const char *key : {"&<>\"' \t\n\r", "<&", "1 st Grüße", "xml-ish"}) {
        XmlList list;
        list.set(QString::fromUtf8(key), "v", R);
        EXPECT_EQ(parsed(list.toBinary()).first().name(), QString::fromUtf8(key));
    }
}

TEST(XmlListValue, CopiesNeverShareWritesAndIteratorsOutliveChanges)
{
    XmlList original = parsed("<l><k>1</k></l>");
    XmlList copy = original;
    copy.set(QStringLiteral("k"), "2", R);
    EXPECT_NE(copy, original);
    original.set(QStringLiteral("nested"), copy, R);
    original.set(QStringLiteral("self"), original, R);
    XmlList nested;
    original.get(nested, QStringLiteral("nested"));
    nested.set(QStringLiteral("k"), "changed", R);
    XmlList again;
    original.get(again, QStringLiteral("nested"));
    EXPECT_EQ(answers(again), QStringLiteral("0:2 text=2"));
    EXPECT_TRUE(original.get(again, QStringLiteral("self")) && again.size() == 2);
    XmlListIterator it = original.first();
    original.clear();
    EXPECT_TRUE(original.isEmpty() && original.first().isNull());
    it.next();
    EXPECT_EQ(it.name(), QStringLiteral("nested"));
    it.next(), it.next(), it.next();
    EXPECT_TRUE(it.isNull());
}

// Every text the reader refuses: one trace line with the reason, and an
// empty list converting to false that stays usable. A null reason marks text
// exactly at a limit, which is read whole. Every fault a fuzzer finds becomes
// a row here and a file in fuzz/corpus/.
TEST(XmlListParse, RefusesWhatIsNotWellFormedOrBreaksALimit)
{
    using namespace Orvel::XmlText;
    const QByteArray key(XmlList::kMaxKeyLength, 'k');
    const QByteArray eq = QByteArray("=").repeated(100);
    const std::pair<QByteArray, const char *> cases[] = {
        {"", "Not well-formed: test line"},
        {"<l><a>1</a>", "Not well-formed: test line"},
        {"<l/><m/>", "Not well-formed: test line"},
        {"<l></m>", "Not well-formed: test line"},
        {"<l></l", "Not well-formed: test line"},
        {"<a!/>", "Not well-formed: test line"},
        {"<ab>..ab>", "Not well-formed: test line"},
        {nested(200000), "is nested deeper than 32 levels"},
        {QByteArray("<a>").repeated(200000), "is nested deeper than 32 levels"},
        {nested(XmlList::kMaxDepth + 1), "is nested deeper than 32 levels"},
        {"<!DOCTYPE l [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><l>&x;</l>",
         "has a document type"},
        {"<!DOCTYPE l SYSTEM \"/dev/zero\"><l/>", "has a document type declaration"},
        {"<l>" + QByteArray(kMaxTextBytes - 6, 'x') + "</l>", "is larger than 67108864 bytes"},
        {"<l>" + QByteArray("<a/>").repeated(kMaxNodes) + "</l>", "has more than 1000000 elements"},
        {withAttributes(kMaxAttributes + 1), "has an element with more than 64 attributes"},
        {withAttributes(100000),
         "has an element with more than 64 attributes"}, // before the reader
        // The tag after a comment counts too.
        {withAttributes(kMaxAttributes + 1).replace("<l>", "<l><!-- -->"),
         "more than 64 attributes"},
        {"<l><entry name=\"\">x</entry></l>", "has an empty key"},
        {"<l><k" + key + ">x</k" + key + "></l>", "has a key longer than 1024 characters"},
        {"<l><entry name=\"k" + key + "\"/></l>", "has a key longer than 1024 characters"},
        {nested(XmlList::kMaxDepth, "x"), nullptr},
        {"<l><" + key + ">x</" + key + "><entry name=\"" + key + "\"/></l>", nullptr},
        {withAttributes(kMaxAttributes), nullptr},
        // The root, elements of 64 nodes each and one of 63: exactly the most nodes.
        {"<l>" + withAttributes(63).mid(3).chopped(4).repeated(kMaxNodes / 64 - 1) +
             withAttributes(62).mid(3).chopped(4) + "</l>",
         nullptr},
        // Equals signs and quotes outside tags are no attributes.
        {"<l a=\"=\"><!-- " + eq + "' --><b>" + eq + "</b><?pi " + eq + "?></l>", nullptr},
        {"<l><![CDATA[" + eq + "]]></l>", nullptr},
        {"<config/>", nullptr},
        {"<l><a:b>1</a:b></l>", nullptr}, // a prefix is part of the name, not a namespace
    };
    for (const auto &[text, reason] : cases) {
        TraceCapture trace;
        XmlList list = parsed(text);
        SCOPED_TRACE(reason ? reason : text.left(60).data());
        EXPECT_EQ(bool(list), !reason);
        ASSERT_EQ(trace.lines().size(), reason ? 1 : 0);
        if (!reason) {
            EXPECT_EQ(parsed(list.toBinary()), list);
            continue;
        }
        EXPECT_TRUE(list.isEmpty());
        EXPECT_TRUE(trace.lines().first().contains(QString::fromUtf8(reason)));
        list.set(QStringLiteral("a"), quint32(1), R);
        EXPECT_TRUE(bool(list) && list.size() == 1);
    }
}

// The fast reader takes plain text and gives the streaming reader's very
// tree; anything else, however small, it leaves to the streaming reader.
TEST(XmlListParse, ThePlainReaderAnswersAsTheStreamingReader)
{
    const std::pair<QByteArray, bool> cases[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<c>\n <a type=\"uint\">1</a>\n</c>\n", true},
        {"<l>\t<a  x='1'   y=\"2\" >t > u</a>\n<b/><c name=\"k k\"/><d> </d></l >", true},
        {withAttributes(Orvel::XmlText::kMaxAttributes), true},
        {"<list></list>", true},
        {"<l><a>&amp;</a></l>", false},
        {"<l><a>\r\n</a></l>", false},
        {"<l><a>\x01</a></l>", false},
        {"<l><a>\x7f</a></l>", false},
        {"<l><a>\xc3\xa9</a></l>", false},
        {"<?xml version=\"1.0\"?><l/>", false},
        {" <?xml version=\"1.0\" encoding=\"UTF-8\"?><l/>", false},
        {"<l><!-- c --></l>", false},
        {"<l><a>]]></a></l>", false},
        {"<l><a>x", false},
        {"</l>", false},
        {"<l></m>", false},
        {"<l></l", false},
        {"<l>/>", false},
        {"<l/>x", false},
        {"<l/><m/>", false},
        {"< l/>", false},
        {"<l:m/>", false},
        {"<l a=\"1\"b=\"2\"/>", false},
        {"<l a=\"1\" a=\"2\"/>", false},
        {"<l a/>", false},
        {"<l =\"1\"/>", false},
        {"<l a=1/>", false},
        {"<l a=\"1/>", false},
        {"<l a=\"<\"/>", false},
        {"<l a=\"\t\"/>", false},
        {"<l a=\"\n\"/>", false},
        {withAttributes(Orvel::XmlText::kMaxAttributes + 1), false},
        {"<l><a type=\"uint\">x</a></l>", false},
        {"<l><entry name=\"\">x</entry></l>", false},
        {nested(XmlList::kMaxDepth + 1), false},
    };
    for (const auto &[text, plain] : cases) {
        SCOPED_TRACE(text.left(60).data());
        TraceCapture trace;
        QString why;
        const auto fast = Orvel::PlainXml::read(text);
        const auto streamed = Orvel::XmlStorage::streamRead(text, QStringLiteral("test"), why);
        ASSERT_EQ(bool(fast), plain);
        if (fast) {
            ASSERT_TRUE(streamed);
            EXPECT_EQ(Orvel::XmlText::write(*fast, false), Orvel::XmlText::write(*streamed, false));
        }
    }
}

// Entry for entry the same, whatever the roots are called; == compares the
// written text instead.
TEST(XmlListValue, SameEntriesMeansEveryTagAttributeTextAndListAlike)
{
    const std::tuple<QByteArray, QByteArray, bool> cases[] = {
        {"<l><a>1</a><b><c/></b></l>", "<m><a>1</a><b><c/></b></m>", true},
        {"<l><a type=\"list\"/></l>", "<l><a type=\"list\"></a></l>", true},
        {"<l><a>1</a></l>", "<l><a>2</a></l>", false},
        {"<l><a>1</a></l>", "<l><b>1</b></l>", false},
        {"<l><a>1</a></l>", "<l><a type=\"text\">1</a></l>", false},
        {"<l><a>1</a></l>", "<l><a>1</a><a>1</a></l>", false},
        {"<l><a><b/></a></l>", "<l><a><c/></a></l>", false},
        {"<l><a><b/></a></l>", "<l><a>x</a></l>", false},
    };
    for (const auto &[a, b, same] : cases) {
        SCOPED_TRACE((a + " / " + b).constData());
        EXPECT_EQ(parsed(a).hasSameEntries(parsed(b)), same);
        EXPECT_EQ(parsed(b).hasSameEntries(parsed(a)), same);
    }
}
