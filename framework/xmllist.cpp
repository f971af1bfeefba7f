#include "xmllist.h"

#include "fileio.h"
#include "trace.h"

#include <QHash>
#include <QVarLengthArray>
#include <QXmlStreamReader>

#include <algorithm>
#include <utility>
#include <vector>

namespace Orvel {

static_assert(XmlList::kMaxTextBytes >= FileIo::kMaxFileBytes,
              "every file a reader accepts must be allowed to parse");

namespace {

const QString kName = QStringLiteral("name");
const QString kType = QStringLiteral("type");
const QString kList = QStringLiteral("list");
const QString kText = QStringLiteral("text");
const QString kUint = QStringLiteral("uint");
const QString kInt = QStringLiteral("int");
const QString kBool = QStringLiteral("bool");

// Lists up to this many entries are searched by a walk, which for the short
// lists of message bodies and rules costs less than keeping an index.
constexpr int kMostEntriesWalked = 16;

struct Attribute
{
    QString name;
    QString value;
};

// Entries carry at most a name and a type, which then need no heap.
using Attributes = QVarLengthArray<Attribute, 2>;

const QString *attribute(const Attributes &attributes, const QString &name)
{
    for (const Attribute &a : attributes) {
        if (a.name == name)
            return &a.value;
    }
    return nullptr;
}

} // namespace

struct XmlEntry
{
    QString tag;
    QString key;                      // the name attribute, else the tag
    Attributes attributes;            // in name order, so that equal lists write alike
    QString text;                     // a leaf's
    std::shared_ptr<XmlEntries> list; // a nested list's entries, null when it has none

    bool isList() const { return list || typeName() == kList; }
    QString typeName() const
    {
        const QString *type = attribute(attributes, kType);
        return type ? *type : QString();
    }
};

struct XmlEntries
{
    // The root element's tag and attributes, which files choose freely; a
    // nested list, or one built in memory, has a bare "list".
    QString tag = kList;
    Attributes attributes;
    std::vector<XmlEntry> entries;
    // The first entry of each key, once there are too many to walk.
    QHash<QString, int> first;

    const XmlEntry *find(const QString &key) const
    {
        const int i = indexOf(key);
        return i < 0 ? nullptr : &entries[size_t(i)];
    }

    int indexOf(const QString &key) const
    {
        if (entries.size() > size_t(kMostEntriesWalked))
            return first.value(key, -1);
        const auto it = std::find_if(entries.begin(), entries.end(),
                                     [&key](const XmlEntry &e) { return e.key == key; });
        return it == entries.end() ? -1 : int(it - entries.begin());
    }

    void append(XmlEntry entry)
    {
        entries.push_back(std::move(entry));
        const int count = int(entries.size());
        if (count == kMostEntriesWalked + 1) {
            // Walked backwards so that the first entry of a key wins.
            for (int i = count - 1; i >= 0; --i)
                first.insert(entries[size_t(i)].key, i);
        } else if (count > kMostEntriesWalked + 1 && !first.contains(entries.back().key)) {
            first.insert(entries.back().key, count - 1);
        }
    }

    // Levels spanned, this list being one. Every list was checked against
    // the depth limit when it was read or set, so the recursion is bounded.
    int depth() const
    {
        int deepest = 0;
        for (const XmlEntry &e : entries)
            deepest = std::max(deepest, e.list ? e.list->depth() : 1);
        return 1 + deepest;
    }
};

namespace {

// An element name we write for a key; anything else goes into a name attribute
// ("1 st", "Ä", keys with blanks). ASCII only, so every XML parser agrees.
bool isPlainXmlName(const QString &key)
{
    if (key.isEmpty() || key.startsWith(QLatin1String("xml"), Qt::CaseInsensitive))
        return false;
    for (int i = 0; i < key.size(); ++i) {
        const QChar c = key.at(i);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!letter && (i == 0 || !other))
            return false;
    }
    return true;
}

bool parseUnsigned(const QString &text, quint32 &out)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || value > 0xFFFFFFFFull || text.startsWith('+') || text.startsWith('-'))
        return false;
    out = quint32(value);
    return true;
}

bool parseSigned(const QString &text, qint32 &out)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || text.startsWith('+'))
        return false;
    out = value;
    return true;
}

bool parseBool(const QString &text, bool &out)
{
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
        text == QLatin1String("1")) {
        out = true;
        return true;
    }
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 ||
        text == QLatin1String("0")) {
        out = false;
        return true;
    }
    return false;
}

// toInt/toULongLong accept surrounding blanks; a stored number never has them.
bool strictNumberText(const QString &text)
{
    return !text.isEmpty() && text.trimmed().size() == text.size();
}

bool needsEscape(QChar c, bool attribute)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == '&' || u == '<' || u == '>' || (attribute && u == '"');
}

void escapeInto(QString &out, const QString &text, bool attribute)
{
    // Most texts need no escape at all and go in whole.
    const auto first = std::find_if(text.cbegin(), text.cend(),
                                    [attribute](QChar c) { return needsEscape(c, attribute); });
    out += QStringView(text.cbegin(), first);
    for (auto it = first; it != text.cend(); ++it) {
        const QChar c = *it;
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += attribute ? QLatin1String("&quot;") : QLatin1String("\"");
            break;
        case '\n':
            out += QLatin1String("&#10;");
            break;
        case '\r':
            out += QLatin1String("&#13;");
            break;
        case '\t':
            out += QLatin1String("&#9;");
            break;
        default:
            // XML cannot carry other control characters at all.
            out += c.unicode() < 0x20 ? QChar(0xFFFD) : c;
        }
    }
}

// The most attributes any one tag of the text holds, counted as the equals
// signs outside quotes between a tag's "<" and ">", without an XML reader.
// Comments, CDATA sections and processing instructions are skipped whole; in
// them an equals sign or a quote means nothing.
qsizetype mostAttributes(const QByteArray &text)
{
    static const std::pair<QByteArrayView, QByteArrayView> skipped[] = {
        {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
    const QByteArrayView all(text);
    qsizetype most = 0;
    qsizetype inTag = -1; // equals signs so far in the open tag, -1 outside one
    char quote = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (inTag >= 0) {
            if (c == '"' || c == '\'')
                quote = c;
            else if (c == '=')
                most = std::max(most, ++inTag);
            else if (c == '>')
                inTag = -1;
        } else if (c == '<') {
            inTag = 0;
            for (const auto &[open, close] : skipped) {
                if (!all.sliced(i).startsWith(open))
                    continue;
                const qsizetype end = all.indexOf(close, i + open.size());
                i = end < 0 ? text.size() : end + close.size() - 1;
                inTag = -1;
                break;
            }
        }
    }
    return most;
}

// What is wrong with the entry the reader stands on, or an empty text. The
// root's name is free; only entries have keys.
QString brokenLimit(const QXmlStreamReader &reader, int depth, qint64 nodes)
{
    if (depth > XmlList::kMaxDepth)
        return QStringLiteral("is nested deeper than %1 levels").arg(XmlList::kMaxDepth);
    if (nodes > XmlList::kMaxNodes)
        return QStringLiteral("has more than %1 elements and attributes").arg(XmlList::kMaxNodes);
    if (depth < 2)
        return QString();
    const QXmlStreamAttributes attributes = reader.attributes();
    const qsizetype keyLength = attributes.hasAttribute(kName) ? attributes.value(kName).size()
                                                               : reader.qualifiedName().size();
    if (keyLength == 0)
        return QStringLiteral("has an empty key");
    if (keyLength > XmlList::kMaxKeyLength)
        return QStringLiteral("has a key longer than %1 characters").arg(XmlList::kMaxKeyLength);
    return QString();
}

bool acceptableKey(const QString &key)
{
    if (key.isEmpty()) {
        TraceLine(2, "xmllist", __LINE__) << "Refused an entry with an empty key";
        return false;
    }
    if (key.size() > XmlList::kMaxKeyLength) {
        TraceLine(2, "xmllist", __LINE__)
            << "Refused an entry whose key has" << key.size() << "characters, more than"
            << XmlList::kMaxKeyLength << "; it begins" << key.left(64);
        return false;
    }
    return true;
}

int typeOf(const XmlEntry &e)
{
    if (e.isList())
        return XmlListIterator::List;
    const QString type = e.typeName();
    if (type.isNull() || type == kText)
        return XmlListIterator::Text;
    if (type == kUint)
        return XmlListIterator::Unsigned;
    if (type == kBool)
        return XmlListIterator::Bool;
    if (type == kInt)
        return XmlListIterator::Signed;
    return XmlListIterator::Invalid;
}

// Whether an entry may answer as `wanted`: its own type, or an untyped leaf.
bool answersAs(const XmlEntry *e, int wanted)
{
    if (!e || e->isList())
        return false;
    return e->typeName().isNull() || typeOf(*e) == wanted;
}

// Whether some get() answers the entry; the reader traces a leaf that none
// ever will, so that an operator sees why a value is ignored.
bool usable(const XmlEntry &e)
{
    quint32 u = 0;
    qint32 i = 0;
    bool b = false;
    switch (typeOf(e)) {
    case XmlListIterator::Invalid:
        return false;
    case XmlListIterator::Unsigned:
        return strictNumberText(e.text) && parseUnsigned(e.text, u);
    case XmlListIterator::Signed:
        return strictNumberText(e.text) && parseSigned(e.text, i);
    case XmlListIterator::Bool:
        return parseBool(e.text, b);
    default:
        return true;
    }
}

// The writers append piece by piece: no temporary strings, as a store of
// thousands of records is written once per timer pass.
void writeTag(QString &out, const QString &tag, const Attributes &attributes)
{
    out += QLatin1Char('<');
    out += tag;
    for (const Attribute &a : attributes) {
        out += QLatin1Char(' ');
        out += a.name;
        out += QLatin1String("=\"");
        escapeInto(out, a.value, true);
        out += QLatin1Char('"');
    }
    out += QLatin1Char('>');
}

// What every list starts from; the first write copies it.
const std::shared_ptr<XmlEntries> &noEntries()
{
    static const std::shared_ptr<XmlEntries> none = std::make_shared<XmlEntries>();
    return none;
}

void writeEntries(QString &out, const XmlEntries &list, int depth, bool indent);

// Writes one element: its entries when `list` is set, else its text.
void writeElement(QString &out, const XmlEntry &e, const XmlEntries *list, int depth, bool indent)
{
    const qsizetype margin = indent ? depth * 2 : 0;
    out.resize(out.size() + margin, QLatin1Char(' '));
    writeTag(out, e.tag, e.attributes);
    if (list) {
        if (indent)
            out += QLatin1Char('\n');
        writeEntries(out, *list, depth + 1, indent);
        out.resize(out.size() + margin, QLatin1Char(' '));
    } else {
        escapeInto(out, e.text, false);
    }
    out += QLatin1String("</");
    out += e.tag;
    out += QLatin1Char('>');
    if (indent)
        out += QLatin1Char('\n');
}

void writeEntries(QString &out, const XmlEntries &list, int depth, bool indent)
{
    for (const XmlEntry &e : list.entries) {
        const XmlEntries *entries = e.list ? e.list.get() : noEntries().get();
        writeElement(out, e, e.isList() ? entries : nullptr, depth, indent);
    }
}

// The root is written as a list once it has entries or says it is one.
void writeRoot(QString &out, const XmlEntries &root, bool indent)
{
    XmlEntry top;
    top.tag = root.tag;
    top.attributes = root.attributes;
    const bool list = !root.entries.empty() || top.typeName() == kList;
    writeElement(out, top, list ? &root : nullptr, 0, indent);
}

XmlEntry startEntry(const QXmlStreamReader &reader)
{
    XmlEntry e;
    e.tag = reader.qualifiedName().toString();
    for (const QXmlStreamAttribute &a : reader.attributes())
        e.attributes.append({a.qualifiedName().toString(), a.value().toString()});
    std::sort(e.attributes.begin(), e.attributes.end(),
              [](const Attribute &a, const Attribute &b) { return a.name < b.name; });
    const QString *name = attribute(e.attributes, kName);
    e.key = name ? *name : e.tag;
    return e;
}

// An element being read, and the entries read inside it so far.
struct OpenElement
{
    XmlEntry entry;
    std::shared_ptr<XmlEntries> inner;
};

// Closes the innermost open element, which is a list when entries were read
// inside it, and adds it to the entries of the one around it. The root's
// entries become the document's.
void closeElement(std::vector<OpenElement> &open, const QXmlStreamReader &reader,
                  const QString &source, std::shared_ptr<XmlEntries> &document)
{
    OpenElement done = std::move(open.back());
    open.pop_back();
    if (open.empty()) {
        document = done.inner ? std::move(done.inner) : std::make_shared<XmlEntries>();
        document->tag = done.entry.tag;
        document->attributes = done.entry.attributes;
        return;
    }
    XmlEntry &e = done.entry;
    e.list = std::move(done.inner);
    if (!usable(e))
        TraceLine(2, "xmllist", __LINE__)
            << "Unusable value in" << source << "line" << reader.lineNumber() << "entry" << e.key
            << "type" << e.typeName() << "value" << e.text;
    std::shared_ptr<XmlEntries> &siblings = open.back().inner;
    if (!siblings)
        siblings = std::make_shared<XmlEntries>();
    siblings->append(std::move(e));
}

// Builds the tree in one pass of a streaming reader, checking every limit
// before an element is added, so that hostile text never grows a tree beyond
// them. A document type declaration is refused outright: its entities could
// expand without bound or name outside files. Whitespace between entries is
// dropped. Writes the trace line and answers null on any refusal.
std::shared_ptr<XmlEntries> readTree(const QByteArray &text, const QString &source)
{
    if (text.size() > XmlList::kMaxTextBytes) {
        TraceLine(2, "xmllist", __LINE__)
            << "Refused" << source << "is larger than" << XmlList::kMaxTextBytes << "bytes";
        return nullptr;
    }
    // Counted before any XML reader runs: Qt's reader slows down with the
    // square of the attributes on one element.
    if (mostAttributes(text) > XmlList::kMaxAttributes) {
        TraceLine(2, "xmllist", __LINE__) << "Refused" << source << "has an element with more than"
                                          << XmlList::kMaxAttributes << "attributes";
        return nullptr;
    }
    QXmlStreamReader reader(text);
    reader.setNamespaceProcessing(false);
    std::vector<OpenElement> open;
    std::shared_ptr<XmlEntries> document;
    qint64 nodes = 0;
    QString reason;
    while (reason.isEmpty() && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            reason = QStringLiteral("has a document type declaration");
            break;
        case QXmlStreamReader::StartElement:
            nodes += 1 + reader.attributes().size();
            reason = brokenLimit(reader, int(open.size()) + 1, nodes);
            if (reason.isEmpty())
                open.push_back({startEntry(reader), nullptr});
            break;
        case QXmlStreamReader::EndElement:
            closeElement(open, reader, source, document);
            break;
        case QXmlStreamReader::Characters:
            if (!reader.isWhitespace() && !open.empty())
                open.back().entry.text += reader.text();
            break;
        default:
            break;
        }
    }
    if (!reason.isEmpty()) {
        TraceLine(2, "xmllist", __LINE__)
            << "Refused" << source << reason << "at line" << reader.lineNumber();
        return nullptr;
    }
    if (reader.hasError()) {
        TraceLine(2, "xmllist", __LINE__)
            << "Not well-formed:" << source << "line" << reader.lineNumber() << "column"
            << reader.columnNumber() << reader.errorString();
        return nullptr;
    }
    return document;
}

XmlEntry makeEntry(const QString &key, const QString &type)
{
    XmlEntry e;
    e.key = key;
    if (isPlainXmlName(key)) {
        e.tag = key;
    } else {
        e.tag = QStringLiteral("entry");
        e.attributes.append({kName, key});
    }
    e.attributes.append({kType, type});
    return e;
}

// The entries of a list about to be nested, which as a nested list have a
// bare root; shared unless the list came from a file with a root of its own.
std::shared_ptr<XmlEntries> asNested(const std::shared_ptr<XmlEntries> &entries)
{
    if (entries->tag == kList && entries->attributes.isEmpty())
        return entries;
    auto bare = std::make_shared<XmlEntries>(*entries);
    bare->tag = kList;
    bare->attributes.clear();
    return bare;
}

} // namespace

XmlListIterator::XmlListIterator(std::shared_ptr<const XmlEntries> entries)
    : data(std::move(entries))
{}

const XmlEntry *XmlListIterator::current() const
{
    if (!data || index < 0 || size_t(index) >= data->entries.size())
        return nullptr;
    return &data->entries[size_t(index)];
}

bool XmlListIterator::isNull() const
{
    return current() == nullptr;
}

void XmlListIterator::next()
{
    if (current())
        ++index;
}

QString XmlListIterator::name() const
{
    const XmlEntry *e = current();
    return e ? e->key : QString();
}

int XmlListIterator::type() const
{
    const XmlEntry *e = current();
    return e ? typeOf(*e) : int(Invalid);
}

bool XmlListIterator::getXmlList(XmlList &out) const
{
    const XmlEntry *e = current();
    if (!e || !e->isList())
        return false;
    out = XmlList(e->list ? e->list : noEntries());
    return true;
}

bool XmlListIterator::getText(QString &out) const
{
    const XmlEntry *e = current();
    if (!answersAs(e, Text))
        return false;
    out = e->text;
    return true;
}

XmlList::XmlList()
    : d(noEntries())
{}

XmlList::XmlList(std::shared_ptr<XmlEntries> entries)
    : d(std::move(entries))
{}

XmlList XmlList::fromText(const QByteArray &text, const QString &source)
{
    XmlList list;
    list.assignText(text, source);
    return list;
}

void XmlList::assignText(const QByteArray &text, const QString &source)
{
    std::shared_ptr<XmlEntries> parsed = readTree(text, source);
    if (!parsed) {
        markUnread();
        return;
    }
    d = std::move(parsed);
    readOk = true;
}

void XmlList::markUnread()
{
    *this = XmlList();
    readOk = false;
}

bool XmlList::get(QString &out, const QString &key) const
{
    const XmlEntry *e = d->find(key);
    if (!answersAs(e, XmlListIterator::Text))
        return false;
    out = e->text;
    return true;
}

bool XmlList::get(quint32 &out, const QString &key) const
{
    const XmlEntry *e = d->find(key);
    return answersAs(e, XmlListIterator::Unsigned) && strictNumberText(e->text) &&
           parseUnsigned(e->text, out);
}

bool XmlList::get(qint32 &out, const QString &key) const
{
    const XmlEntry *e = d->find(key);
    return answersAs(e, XmlListIterator::Signed) && strictNumberText(e->text) &&
           parseSigned(e->text, out);
}

bool XmlList::get(bool &out, const QString &key) const
{
    const XmlEntry *e = d->find(key);
    return answersAs(e, XmlListIterator::Bool) && parseBool(e->text, out);
}

bool XmlList::get(XmlList &out, const QString &key) const
{
    XmlListIterator at(d);
    at.index = d->indexOf(key);
    return at.getXmlList(out);
}

bool XmlList::get(QString &out, const XmlListIterator &at) const
{
    return at.getText(out);
}

bool XmlList::get(XmlList &out, const XmlListIterator &at) const
{
    return at.getXmlList(out);
}

void XmlList::detach()
{
    if (d.use_count() > 1)
        d = std::make_shared<XmlEntries>(*d);
}

void XmlList::place(XmlEntry entry, int setType)
{
    detach();
    const int old = d->indexOf(entry.key);
    if (setType == Replace && old >= 0)
        d->entries[size_t(old)] = std::move(entry);
    else
        d->append(std::move(entry));
    readOk = true;
}

void XmlList::setLeaf(const QString &key, const QString &text, const QString &type, int setType)
{
    if (!acceptableKey(key))
        return;
    XmlEntry entry = makeEntry(key, type);
    entry.text = text;
    place(std::move(entry), setType);
}

void XmlList::set(const QString &key, const QString &value, int setType)
{
    setLeaf(key, value, kText, setType);
}

void XmlList::set(const QString &key, const char *value, int setType)
{
    setLeaf(key, QString::fromUtf8(value), kText, setType);
}

void XmlList::set(const QString &key, quint32 value, int setType)
{
    setLeaf(key, QString::number(value), kUint, setType);
}

void XmlList::set(const QString &key, qint32 value, int setType)
{
    setLeaf(key, QString::number(value), kInt, setType);
}

void XmlList::set(const QString &key, bool value, int setType)
{
    setLeaf(key, value ? QStringLiteral("true") : QStringLiteral("false"), kBool, setType);
}

void XmlList::set(const QString &key, const XmlList &value, int setType)
{
    if (!acceptableKey(key))
        return;
    if (1 + value.d->depth() > kMaxDepth) {
        TraceLine(2, "xmllist", __LINE__)
            << "Refused list" << key << "nested deeper than" << kMaxDepth << "levels";
        return;
    }
    XmlEntry entry = makeEntry(key, kList);
    // Taken before placing: `value` may be this very list, which keeps its
    // old entries in the new one.
    if (!value.d->entries.empty())
        entry.list = asNested(value.d);
    place(std::move(entry), setType);
}

bool XmlList::isEmpty() const
{
    return d->entries.empty();
}

int XmlList::size() const
{
    return int(d->entries.size());
}

void XmlList::clear()
{
    const QString rootName = d->tag;
    d = noEntries();
    if (rootName != kList) {
        d = std::make_shared<XmlEntries>();
        d->tag = rootName;
    }
    readOk = true;
}

XmlListIterator XmlList::first() const
{
    return XmlListIterator(d);
}

QByteArray XmlList::toBinary() const
{
    QString out;
    writeRoot(out, *d, false);
    return out.toUtf8();
}

QByteArray XmlList::toFileText() const
{
    QString out = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    writeRoot(out, *d, true);
    return out.toUtf8();
}

// Equal lists hold the same entries in the same order; the root's name, which
// files choose freely, does not count.
bool XmlList::operator==(const XmlList &other) const
{
    QString mine;
    QString theirs;
    writeEntries(mine, *d, 0, false);
    writeEntries(theirs, *other.d, 0, false);
    return readOk == other.readOk && mine == theirs;
}

} // namespace Orvel
