#include "testsupport.h"
#include "xmllist.h"
#include "xmltext.h"

#include <functional>
#include <gtest/gtest.h>

using Orvel::XmlList;
using Orvel::XmlListIterator;

namespace {

XmlList parse(const QByteArray &text)
{
    return XmlList::fromText(text, QStringLiteral("test"));
}

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

// What entry "k" answers: its type at an iterator, then "form=value" for every
// get() that answers, "traced" when the reader wrote a line, "absent" when
// there is no "k". A get() that answers false must leave its output untouched.
QString answers(const QByteArray &entries)
{
    TraceCapture trace;
    const XmlList list = parse("<l>" + entries + "</l>");
    const QString k = QStringLiteral("k");
    QString text = QStringLiteral("-");
    quint32 u = 7;
    qint32 s = 7;
    bool b = true;
    XmlList sub = parse("<m><marker/></m>");
    XmlListIterator at = list.first();
    while (!at.isNull() && at.name() != k)
        at.next();
    QStringList items = {at.isNull() ? QStringLiteral("absent") : QString::number(at.type())};
    items << (list.get(text, k) ? "text=" + text : text == "-" ? "" : "text touched");
    items << (list.get(u, k) ? "uint=" + QString::number(u) : u == 7 ? "" : "uint touched");
    items << (list.get(s, k) ? "int=" + QString::number(s) : s == 7 ? "" : "int touched");
    items << (list.get(b, k) ? QString("bool=") + (b ? "true" : "false") : b ? "" : "bool touched");
    items << (list.get(sub, k)  ? "list=" + QString::number(sub.size())
              : sub.size() == 1 ? ""
                                : "list touched");
    items << (trace.lines().isEmpty() ? "" : "traced");
    QString atText;
    XmlList atList;
    EXPECT_EQ(list.get(atText, at), items.join(' ').contains("text="));
    EXPECT_EQ(list.get(atList, at), items.join(' ').contains("list="));
    EXPECT_EQ(list.contains(k), !at.isNull());
    items.removeAll(QString());
    return items.join(' ');
}

} // namespace

// An untyped leaf answers every form whose strict parse succeeds; a typed
// leaf only its own, and a value no get() will answer is traced.
TEST(XmlListGet, AnswersOnlyForMatchingTypes)
{
    const QByteArray skip = QByteArray("<j/>").repeated(20);
    const struct
    {
        QByteArray entries;
        const char *answers;
    } cases[] = {
        {"<k>42</k>", "2 text=42 uint=42 int=42"},
        {"<k>0</k>", "2 text=0 uint=0 int=0 bool=false"},
        {"<k>1</k>", "2 text=1 uint=1 int=1 bool=true"},
        {"<k>hello</k>", "2 text=hello"},
        {"<k>TRUE</k>", "2 text=TRUE bool=true"},
        {"<k>False</k>", "2 text=False bool=false"},
        {"<k>-7</k>", "2 text=-7 int=-7"},
        {"<k>+5</k>", "2 text=+5"},
        {"<k> 5</k>", "2 text= 5"},
        {"<k>5x</k>", "2 text=5x"},
        {"<k>4294967296</k>", "2 text=4294967296"},
        {"<k>99999999999999999999999</k>", "2 text=99999999999999999999999"},
        {"<k/>", "2 text="},
        {"<k> </k>", "2 text="},
        {"<k type=\"text\">12</k>", "2 text=12"},
        {"<k type=\"uint\">4294967295</k>", "3 uint=4294967295"},
        {"<k type=\"uint\">4294967296</k>", "3 traced"},
        {"<k type=\"uint\">-1</k>", "3 traced"},
        {"<k type=\"uint\">12abc</k>", "3 traced"},
        {"<k type=\"uint\"> 12</k>", "3 traced"},
        {"<k type=\"int\">-2147483648</k>", "5 int=-2147483648"},
        {"<k type=\"int\">2147483648</k>", "5 traced"},
        {"<k type=\"int\">-2147483649</k>", "5 traced"},
        {"<k type=\"int\">+1</k>", "5 traced"},
        {"<k type=\"bool\">1</k>", "4 bool=true"},
        {"<k type=\"bool\">yes</k>", "4 traced"},
        {"<k type=\"float\">1.5</k>", "0 traced"},
        {"<k><i>x</i></k>", "1 list=1"},
        {"<k type=\"list\"/>", "1 list=0"},
        {"<entry name=\"k\" type=\"bool\">true</entry>", "4 bool=true"},
        {"<K>2</K><k>1</k><k>3</k>", "2 text=1 uint=1 int=1 bool=true"},
        {"<j>1</j>", "absent"},
        {"<k>7</k><k>8</k>" + skip, "2 text=7 uint=7 int=7"},
        {skip + "<k>7</k><k>8</k>", "2 text=7 uint=7 int=7"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(answers(c.entries), QString::fromUtf8(c.answers)) << c.entries.left(60).data();
}

TEST(XmlListSet, ReplaceKeepsPositionAndAppendKeepsEarlierEntries)
{
    XmlList list;
    list.set(QStringLiteral("a"), QStringLiteral("1"), XmlList::Replace);
    list.set(QStringLiteral("b"), QStringLiteral("2"), XmlList::Replace);
    list.set(QStringLiteral("a"), quint32(3), XmlList::Replace);
    list.set(QStringLiteral("b"), QStringLiteral("4"), XmlList::Append);
    EXPECT_EQ(list.size(), 3);
    EXPECT_EQ(list.first().name(), QStringLiteral("a"));
    EXPECT_EQ(list.first().type(), XmlListIterator::Unsigned);
    QString b;
    EXPECT_TRUE(list.get(b, QStringLiteral("b")));
    EXPECT_EQ(b, QStringLiteral("2"));
}

// Keys and values go through the text form: what XML cannot carry as it
// stands is escaped, control characters it cannot carry at all become U+FFFD.
TEST(XmlListSet, KeysAndValuesReadBackFromTheTextForm)
{
    const struct
    {
        const char *set;
        const char *back;
    } cases[] = {
        {"plain", "plain"},         {"&<>\"'", "&<>\"'"},         {"<&", "<&"},
        {"xml-ish", "xml-ish"},     {"1 st Grüße", "1 st Grüße"}, {"a\r\n\tb", "a\r\n\tb"},
        {"\x01x", "\xef\xbf\xbdx"},
    };
    for (const auto &c : cases) {
        XmlList list;
        list.set(QString::fromUtf8(c.set), c.set, XmlList::Replace);
        const QByteArray text = list.toBinary();
        EXPECT_FALSE(text.contains('\n')) << text.data();
        QString value;
        EXPECT_TRUE(parse(text).get(value, QString::fromUtf8(c.back))) << text.data();
        EXPECT_EQ(value, QString::fromUtf8(c.back));
    }
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
    const XmlList back = parse(list.toBinary());
    EXPECT_EQ(back, list);
    QString types;
    for (XmlListIterator it = back.first(); !it.isNull(); it.next())
        types += QString::number(it.type());
    EXPECT_EQ(types, QStringLiteral("23541"));
    quint32 u = 0;
    qint32 i = 0;
    EXPECT_TRUE(back.get(u, QStringLiteral("uint")) && back.get(i, QStringLiteral("int")));
    EXPECT_EQ(u, 4000000000u);
    EXPECT_EQ(i, -5);
}

TEST(XmlListValue, CopiesNeverShareWrites)
{
    XmlList original = parse("<l><k>1</k></l>");
    XmlList copy = original;
    copy.set(QStringLiteral("k"), "2", XmlList::Replace);
    EXPECT_NE(copy, original);
    original.set(QStringLiteral("nested"), copy, XmlList::Replace);
    original.set(QStringLiteral("self"), original, XmlList::Replace);
    XmlList nested;
    ASSERT_TRUE(original.get(nested, QStringLiteral("nested")));
    nested.set(QStringLiteral("k"), "changed", XmlList::Replace);
    XmlList again;
    QString value;
    EXPECT_TRUE(original.get(again, QStringLiteral("nested")) &&
                again.get(value, QStringLiteral("k")));
    EXPECT_EQ(value, QStringLiteral("2"));
    EXPECT_TRUE(original.get(again, QStringLiteral("self")));
    EXPECT_EQ(again.size(), 2);
}

TEST(XmlListValue, AnIteratorSurvivesChangesToItsList)
{
    XmlList list = parse("<l><a>1</a><b>2</b></l>");
    XmlListIterator it = list.first();
    list.clear();
    EXPECT_TRUE(list.isEmpty() && list.first().isNull());
    it.next();
    EXPECT_EQ(it.name(), QStringLiteral("b"));
    it.next();
    it.next();
    EXPECT_TRUE(it.isNull());
}

// Every text a reader refuses: one trace line from the text-form reader with
// the reason, and an empty list converting to false that stays usable. A
// null reason marks text exactly at a limit, which is read whole. Every fault
// a fuzzer finds becomes a row here and a file in fuzz/corpus/.
TEST(XmlListParse, RefusesWhatIsNotWellFormedOrBreaksALimit)
{
    using Orvel::XmlText::kMaxAttributes;
    const QByteArray key(XmlList::kMaxKeyLength, 'k');
    const QByteArray eq = QByteArray("=").repeated(100);
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY l0 \"ha\">";
    for (int i = 1; i <= 9; ++i)
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                  ("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
    laughs += "]><l><a>&l9;</a></l>";
    const struct
    {
        std::function<QByteArray()> text;
        const char *reason;
    } cases[] = {
        {[] { return QByteArray(); }, "Not well-formed: test line"},
        {[] { return QByteArray("<l><a>1</a>"); }, "Not well-formed: test line"},
        {[] { return QByteArray("<l><a>1</b></l>"); }, "Not well-formed: test line"},
        {[] { return QByteArray("<l/><m/>"); }, "Not well-formed: test line"},
        {[] { return QByteArray("not xml at all"); }, "Not well-formed: test line"},
        {[] { return nested(200000); }, "is nested deeper than 32 levels"},
        {[] { return QByteArray("<a>").repeated(200000); }, "is nested deeper than 32 levels"},
        {[] { return nested(XmlList::kMaxDepth + 1); }, "is nested deeper than 32 levels"},
        {[&] { return laughs; }, "has a document type declaration"},
        {[] { return QByteArray("<!DOCTYPE l [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><l/>"); },
         "has a document type declaration"},
        {[] { return QByteArray("<!DOCTYPE l SYSTEM \"/dev/zero\"><l/>"); },
         "has a document type declaration"},
        {[] { return "<l>" + QByteArray(Orvel::XmlText::kMaxTextBytes - 6, 'x') + "</l>"; },
         "is larger than 67108864 bytes"},
        {[] { return "<l>" + QByteArray("<a/>").repeated(Orvel::XmlText::kMaxNodes) + "</l>"; },
         "has more than 1000000 elements and attributes"},
        {[] { return withAttributes(kMaxAttributes + 1); }, "an element with more than 64 attr"},
        {[] { return QByteArray("<l><entry name=\"\">x</entry></l>"); }, "has an empty key"},
        {[&] { return "<l><k" + key + ">x</k" + key + "></l>"; }, "a key longer than 1024"},
        {[&] { return "<l><entry name=\"k" + key + "\"/></l>"; }, "a key longer than 1024"},
        {[] { return nested(XmlList::kMaxDepth, "x"); }, nullptr},
        {[&] { return "<l><" + key + ">x</" + key + "><entry name=\"" + key + "\"/></l>"; },
         nullptr},
        {[] { return withAttributes(kMaxAttributes); }, nullptr},
        // Equals signs and quotes outside tags are not attributes.
        {[&] { return "<l a=\"=\"><!-- " + eq + "' --><b>" + eq + "</b><?pi " + eq + "?></l>"; },
         nullptr},
        {[&] { return "<l><![CDATA[" + eq + "]]></l>"; }, nullptr},
        {[] { return QByteArray("<config/>"); }, nullptr},
    };
    for (const auto &c : cases) {
        TraceCapture trace;
        XmlList list = parse(c.text());
        SCOPED_TRACE(c.reason ? c.reason : trace.lines().join(' ').toStdString());
        EXPECT_EQ(bool(list), !c.reason);
        if (!c.reason) {
            EXPECT_TRUE(trace.lines().isEmpty());
            EXPECT_EQ(parse(list.toBinary()), list);
            continue;
        }
        EXPECT_TRUE(list.isEmpty());
        ASSERT_EQ(trace.lines().size(), 1);
        EXPECT_TRUE(trace.lines().first().contains(QString::fromUtf8(c.reason)));
        list.set(QStringLiteral("a"), quint32(1), XmlList::Replace);
        EXPECT_TRUE(bool(list));
        EXPECT_EQ(list.size(), 1);
    }
}

// What a setter refuses could not be read back; the list stays as it was.
TEST(XmlListSet, RefusesWhatCouldNotBeReadBack)
{
    XmlList deep;
    for (int level = 1; level < XmlList::kMaxDepth; ++level) {
        XmlList outer;
        outer.set(QStringLiteral("a"), deep, XmlList::Replace);
        deep = outer;
    }
    XmlList list = parse("<l><kept>v</kept></l>");
    const XmlList before = list;
    TraceCapture trace;
    list.set(QString(), "v", XmlList::Replace);
    list.set(QString(XmlList::kMaxKeyLength + 1, QLatin1Char('k')), quint32(1), XmlList::Replace);
    list.set(QStringLiteral("deep"), deep, XmlList::Replace);
    EXPECT_EQ(list, before);
    EXPECT_EQ(trace.lines().size(), 3);
    XmlList inner;
    ASSERT_TRUE(deep.get(inner, QStringLiteral("a")));
    list.set(QStringLiteral("deep"), inner, XmlList::Replace);
    list.set(QString(XmlList::kMaxKeyLength, QLatin1Char('k')), quint32(1), XmlList::Replace);
    EXPECT_EQ(list.size(), 3);
    EXPECT_EQ(parse(list.toBinary()), list);
}
