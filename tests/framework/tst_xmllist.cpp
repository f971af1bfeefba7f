#include "testsupport.h"
#include "xmllist.h"

#include <gtest/gtest.h>

using Orvel::XmlList;
using Orvel::XmlListIterator;

namespace {

XmlList parse(const char *text)
{
    return XmlList::fromText(QByteArray(text), QStringLiteral("test"));
}

const char *kTypedDocument = R"(<cfg>
  <Plain>42</Plain>
  <Word>hello</Word>
  <Flag>TRUE</Flag>
  <Minus>-7</Minus>
  <Count type="uint">4294967295</Count>
  <Delta type="int">-2147483648</Delta>
  <On type="bool">1</On>
  <Named type="text">12</Named>
  <Empty/>
  <Nested><Inner>x</Inner></Nested>
  <EmptyList type="list"/>
  <entry name="1 st" type="bool">true</entry>
  <Padded> 5</Padded>
  <Trailing>5x</Trailing>
  <Big>4294967296</Big>
  <BadUint type="uint">12abc</BadUint>
  <Odd type="float">1.5</Odd>
</cfg>)";

struct GetCase
{
    const char *key;
    bool text;
    bool unsignedNumber;
    bool signedNumber;
    bool boolean;
    bool list;
};

// Which get() forms answer for each entry: untyped leaves answer to every form
// whose strict parse succeeds, typed leaves only to their own.
const GetCase kGetCases[] = {
    {"Plain", true, true, true, false, false},       {"Word", true, false, false, false, false},
    {"Flag", true, false, false, true, false},       {"Minus", true, false, true, false, false},
    {"Count", false, true, false, false, false},     {"Delta", false, false, true, false, false},
    {"On", false, false, false, true, false},        {"Named", true, false, false, false, false},
    {"Empty", true, false, false, false, false},     {"Nested", false, false, false, false, true},
    {"EmptyList", false, false, false, false, true}, {"1 st", false, false, false, true, false},
    {"Padded", true, false, false, false, false},    {"Trailing", true, false, false, false, false},
    {"Big", true, false, false, false, false},       {"BadUint", false, false, false, false, false},
    {"Odd", false, false, false, false, false},      {"Missing", false, false, false, false, false},
};

} // namespace

TEST(XmlListGet, AnswersOnlyForMatchingTypesAndLeavesOutUntouchedOtherwise)
{
    TraceCapture trace;
    const XmlList list = parse(kTypedDocument);
    ASSERT_TRUE(bool(list));
    for (const GetCase &c : kGetCases) {
        SCOPED_TRACE(c.key);
        const QString key = QString::fromUtf8(c.key);
        QString text = QStringLiteral("unchanged");
        quint32 u = 99;
        qint32 s = 99;
        bool b = false;
        XmlList nested;
        nested.set(QStringLiteral("marker"), QStringLiteral("m"), XmlList::Replace);
        const XmlList before = nested;
        EXPECT_EQ(list.get(text, key), c.text);
        EXPECT_EQ(list.get(u, key), c.unsignedNumber);
        EXPECT_EQ(list.get(s, key), c.signedNumber);
        EXPECT_EQ(list.get(b, key), c.boolean);
        EXPECT_EQ(list.get(nested, key), c.list);
        EXPECT_EQ(list.contains(key), key != QLatin1String("Missing"));
        EXPECT_EQ(text == QStringLiteral("unchanged"), !c.text);
        EXPECT_EQ(u == 99u, !c.unsignedNumber);
        EXPECT_EQ(s == 99, !c.signedNumber);
        EXPECT_EQ(nested == before, !c.list);
    }
}

TEST(XmlListGet, ReadsValues)
{
    TraceCapture trace;
    const XmlList list = parse(kTypedDocument);
    quint32 count = 0;
    qint32 delta = 0;
    bool on = false;
    bool first = false;
    QString empty = QStringLiteral("x");
    XmlList nested;
    QString inner;
    EXPECT_TRUE(list.get(count, QStringLiteral("Count")));
    EXPECT_EQ(count, 4294967295u);
    EXPECT_TRUE(list.get(delta, QStringLiteral("Delta")));
    EXPECT_EQ(delta, -2147483647 - 1);
    EXPECT_TRUE(list.get(on, QStringLiteral("On")));
    EXPECT_TRUE(on);
    EXPECT_TRUE(list.get(first, QStringLiteral("1 st")));
    EXPECT_TRUE(first);
    EXPECT_TRUE(list.get(empty, QStringLiteral("Empty")));
    EXPECT_EQ(empty, QString());
    ASSERT_TRUE(list.get(nested, QStringLiteral("Nested")));
    EXPECT_TRUE(nested.get(inner, QStringLiteral("Inner")));
    EXPECT_EQ(inner, QStringLiteral("x"));
}

TEST(XmlListGet, TracesValuesNoGetWillAnswer)
{
    TraceCapture trace;
    parse(kTypedDocument);
    const QString all = trace.texts().join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("Unusable value in test line 17 entry BadUint")));
    EXPECT_TRUE(all.contains(QStringLiteral("entry Odd type float")));
    EXPECT_FALSE(all.contains(QStringLiteral("entry Count")));
}

TEST(XmlListGet, KeysAreCaseSensitiveAndFirstMatchWins)
{
    const XmlList list = parse("<l><k>1</k><K>2</K><k>3</k></l>");
    QString value;
    EXPECT_TRUE(list.get(value, QStringLiteral("K")));
    EXPECT_EQ(value, QStringLiteral("2"));
    EXPECT_TRUE(list.get(value, QStringLiteral("k")));
    EXPECT_EQ(value, QStringLiteral("1"));
}

TEST(XmlListSet, ReplaceKeepsPositionAndAppendKeepsEarlierEntries)
{
    XmlList list;
    list.set(QStringLiteral("a"), QStringLiteral("1"), XmlList::Replace);
    list.set(QStringLiteral("b"), QStringLiteral("2"), XmlList::Replace);
    list.set(QStringLiteral("a"), quint32(3), XmlList::Replace);
    EXPECT_EQ(list.size(), 2);
    EXPECT_EQ(list.first().name(), QStringLiteral("a"));
    EXPECT_EQ(list.first().type(), XmlListIterator::Unsigned);

    list.set(QStringLiteral("b"), QStringLiteral("4"), XmlList::Append);
    EXPECT_EQ(list.size(), 3);
    QString b;
    EXPECT_TRUE(list.get(b, QStringLiteral("b")));
    EXPECT_EQ(b, QStringLiteral("2"));
}

TEST(XmlListSet, TypedSettersRoundTripThroughText)
{
    XmlList inner;
    inner.set(QStringLiteral("deep"), true, XmlList::Replace);
    XmlList list;
    list.set(QStringLiteral("text"), "plain", XmlList::Replace);
    list.set(QStringLiteral("uint"), quint32(4000000000u), XmlList::Replace);
    list.set(QStringLiteral("int"), qint32(-5), XmlList::Replace);
    list.set(QStringLiteral("bool"), false, XmlList::Replace);
    list.set(QStringLiteral("list"), inner, XmlList::Replace);
    list.set(QStringLiteral("with blank"), "v", XmlList::Replace);
    list.set(QStringLiteral("9lives"), "v", XmlList::Replace);
    list.set(QStringLiteral("Grüße"), "ä <&> \"q\"\nline2", XmlList::Replace);
    list.set(QStringLiteral("xmlish"), "v", XmlList::Replace);

    const QByteArray text = list.toBinary();
    EXPECT_FALSE(text.contains('\n'));
    const XmlList back = XmlList::fromText(text, QStringLiteral("round trip"));
    EXPECT_EQ(back, list);

    QString odd;
    EXPECT_TRUE(back.get(odd, QStringLiteral("Grüße")));
    EXPECT_EQ(odd, QStringLiteral("ä <&> \"q\"\nline2"));
    const int expectedTypes[] = {2, 3, 5, 4, 1, 2, 2, 2, 2};
    int i = 0;
    for (XmlListIterator it = back.first(); !it.isNull(); it.next(), ++i)
        EXPECT_EQ(it.type(), expectedTypes[i]) << it.name().toStdString();
    EXPECT_EQ(i, 9);
}

// Lists keep the text they were last written as: a change, or a write at
// another indent, must never give the old text.
TEST(XmlListSet, TextFollowsEveryChangeAfterAWrite)
{
    XmlList record;
    record.set(QStringLiteral("k"), "1", XmlList::Replace);
    EXPECT_EQ(record.toBinary(), "<list><k type=\"text\">1</k></list>");
    record.set(QStringLiteral("k"), "2", XmlList::Replace);
    EXPECT_EQ(record.toBinary(), "<list><k type=\"text\">2</k></list>");
    XmlList store;
    store.set(QStringLiteral("r"), record, XmlList::Replace);
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<list>\n";
    EXPECT_EQ(store.toFileText(),
              head + "  <r type=\"list\">\n    <k type=\"text\">2</k>\n  </r>\n</list>\n");
    record.set(QStringLiteral("k"), "3", XmlList::Replace); // a copy: the store keeps 2
    EXPECT_EQ(store.toBinary(), "<list><r type=\"list\"><k type=\"text\">2</k></r></list>");
    store.set(QStringLiteral("r"), record, XmlList::Replace);
    EXPECT_EQ(store.toBinary(), "<list><r type=\"list\"><k type=\"text\">3</k></r></list>");
}

TEST(XmlListSet, ListIntoItselfCopiesTheOldContent)
{
    XmlList list;
    list.set(QStringLiteral("a"), "1", XmlList::Replace);
    list.set(QStringLiteral("self"), list, XmlList::Replace);
    XmlList self;
    ASSERT_TRUE(list.get(self, QStringLiteral("self")));
    EXPECT_EQ(self.size(), 1);
}

TEST(XmlListValue, CopiesNeverShareWrites)
{
    XmlList original;
    original.set(QStringLiteral("k"), "1", XmlList::Replace);
    XmlList copy = original;
    copy.set(QStringLiteral("k"), "2", XmlList::Replace);
    copy.set(QStringLiteral("n"), "3", XmlList::Replace);
    QString value;
    original.get(value, QStringLiteral("k"));
    EXPECT_EQ(value, QStringLiteral("1"));
    EXPECT_EQ(original.size(), 1);

    XmlList nested;
    original.set(QStringLiteral("nested"), copy, XmlList::Replace);
    ASSERT_TRUE(original.get(nested, QStringLiteral("nested")));
    nested.set(QStringLiteral("k"), "changed", XmlList::Replace);
    XmlList again;
    original.get(again, QStringLiteral("nested"));
    again.get(value, QStringLiteral("k"));
    EXPECT_EQ(value, QStringLiteral("2"));
}

TEST(XmlListValue, IteratorSurvivesChangesToItsList)
{
    XmlList list = parse("<l><a>1</a><b>2</b></l>");
    XmlListIterator it = list.first();
    list.clear();
    EXPECT_TRUE(list.isEmpty());
    ASSERT_FALSE(it.isNull());
    it.next();
    EXPECT_EQ(it.name(), QStringLiteral("b"));
    it.next();
    EXPECT_TRUE(it.isNull());
    it.next();
    EXPECT_TRUE(it.isNull());
}

TEST(XmlListValue, IteratorGetsTextAndListsByPosition)
{
    const XmlList list = parse("<l><Policy>p</Policy><Stream><Policy>q</Policy></Stream></l>");
    XmlListIterator it = list.first();
    QString text;
    XmlList sub;
    EXPECT_TRUE(list.get(text, it));
    EXPECT_FALSE(list.get(sub, it));
    EXPECT_EQ(text, QStringLiteral("p"));
    it.next();
    EXPECT_FALSE(list.get(text, it));
    EXPECT_TRUE(list.get(sub, it));
    EXPECT_EQ(sub.size(), 1);
}

struct MalformedCase
{
    const char *name;
    const char *text;
};

TEST(XmlListParse, MalformedTextGivesAnEmptyFalseListAndATraceWithPosition)
{
    const MalformedCase cases[] = {
        {"empty", ""},
        {"truncated", "<l><a>1</a>"},
        {"mismatched", "<l><a>1</b></l>"},
        {"two roots", "<l/><m/>"},
        {"garbage", "not xml at all"},
    };
    for (const MalformedCase &c : cases) {
        SCOPED_TRACE(c.name);
        TraceCapture trace;
        const XmlList list = parse(c.text);
        EXPECT_FALSE(bool(list));
        EXPECT_TRUE(list.isEmpty());
        ASSERT_EQ(trace.lines().size(), 1);
        EXPECT_TRUE(trace.lines().first().contains(QStringLiteral("Not well-formed: test line")));
        EXPECT_TRUE(trace.lines().first().contains(QStringLiteral(" 2 xmltext:")));
    }
}

TEST(XmlListParse, WellFormedEmptyListIsTrue)
{
    const XmlList list = parse("<config/>");
    EXPECT_TRUE(bool(list));
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(list.size(), 0);
    EXPECT_TRUE(list.first().isNull());
}
