#include "xmllist.h"

#include "fileio.h"
#include "trace.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <utility>

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

QDomElement nextEntry(const QDomElement &element)
{
    return element.nextSiblingElement();
}

QString keyOf(const QDomElement &element)
{
    return element.hasAttribute(kName) ? element.attribute(kName) : element.tagName();
}

bool isList(const QDomElement &element)
{
    return element.attribute(kType) == kList || !element.firstChildElement().isNull();
}

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

int typeOf(const QDomElement &element)
{
    if (isList(element))
        return XmlListIterator::List;
    const QString type = element.attribute(kType, kText);
    if (type == kText)
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
bool answersAs(const QDomElement &element, int wanted)
{
    if (element.isNull() || isList(element))
        return false;
    return !element.hasAttribute(kType) || typeOf(element) == wanted;
}

void escapeInto(QString &out, const QString &text, bool attribute)
{
    for (const QChar c : text) {
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

// The tree keeps attributes in hash order, which differs between two parses
// of one text; written in name order, equal lists always write alike.
QList<QDomAttr> sortedAttributes(const QDomElement &element)
{
    const QDomNamedNodeMap map = element.attributes();
    QList<QDomAttr> attributes;
    for (int i = 0; i < map.count(); ++i)
        attributes.append(map.item(i).toAttr());
    std::sort(attributes.begin(), attributes.end(),
              [](const QDomAttr &a, const QDomAttr &b) { return a.name() < b.name(); });
    return attributes;
}

void writeElement(QString &out, const QDomElement &element, int depth, bool indent);

void writeEntries(QString &out, const QDomElement &list, int depth, bool indent)
{
    for (QDomElement child = list.firstChildElement(); !child.isNull(); child = nextEntry(child))
        writeElement(out, child, depth, indent);
}

void writeElement(QString &out, const QDomElement &element, int depth, bool indent)
{
    if (indent)
        out += QString(depth * 2, QLatin1Char(' '));
    out += QLatin1Char('<') + element.tagName();
    for (const QDomAttr &attribute : sortedAttributes(element)) {
        out += QLatin1Char(' ') + attribute.name() + QLatin1String("=\"");
        escapeInto(out, attribute.value(), true);
        out += QLatin1Char('"');
    }
    if (isList(element)) {
        out += QLatin1Char('>');
        if (indent)
            out += QLatin1Char('\n');
        writeEntries(out, element, depth + 1, indent);
        if (indent)
            out += QString(depth * 2, QLatin1Char(' '));
    } else {
        out += QLatin1Char('>');
        escapeInto(out, element.text(), false);
    }
    out += QLatin1String("</") + element.tagName() + QLatin1Char('>');
    if (indent)
        out += QLatin1Char('\n');
}

// Whether some get() answers the entry; the reader traces a leaf that none
// ever will, so that an operator sees why a value is ignored.
bool usable(const QDomElement &e)
{
    const QString text = e.text();
    quint32 u = 0;
    qint32 i = 0;
    bool b = false;
    switch (typeOf(e)) {
    case XmlListIterator::Invalid:
        return false;
    case XmlListIterator::Unsigned:
        return strictNumberText(text) && parseUnsigned(text, u);
    case XmlListIterator::Signed:
        return strictNumberText(text) && parseSigned(text, i);
    case XmlListIterator::Bool:
        return parseBool(text, b);
    default:
        return true;
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

QDomElement startElement(const QXmlStreamReader &reader, QDomDocument &doc)
{
    QDomElement element = doc.createElement(reader.qualifiedName().toString());
    for (const QXmlStreamAttribute &attribute : reader.attributes())
        element.setAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
    return element;
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

// Builds the tree in one pass of a streaming reader, checking every limit
// before a node is added, so that hostile text never grows a tree beyond
// them. A document type declaration is refused outright: its entities could
// expand without bound or name outside files. Whitespace between entries is
// dropped. Writes the trace line and answers false on any refusal.
bool readTree(const QByteArray &text, const QString &source, QDomDocument &doc)
{
    if (text.size() > XmlList::kMaxTextBytes) {
        TraceLine(2, "xmllist", __LINE__)
            << "Refused" << source << "is larger than" << XmlList::kMaxTextBytes << "bytes";
        return false;
    }
    // Counted before any XML reader runs: Qt's reader slows down with the
    // square of the attributes on one element.
    if (mostAttributes(text) > XmlList::kMaxAttributes) {
        TraceLine(2, "xmllist", __LINE__) << "Refused" << source << "has an element with more than"
                                          << XmlList::kMaxAttributes << "attributes";
        return false;
    }
    QXmlStreamReader reader(text);
    reader.setNamespaceProcessing(false);
    // The document gets its inner data with its first element, so the root is
    // appended to the document itself rather than to an earlier copy of it.
    QDomNode parent;
    int depth = 0;
    qint64 nodes = 0;
    QString reason;
    while (reason.isEmpty() && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            reason = QStringLiteral("has a document type declaration");
            break;
        case QXmlStreamReader::StartElement:
            nodes += 1 + reader.attributes().size();
            reason = brokenLimit(reader, ++depth, nodes);
            if (reason.isEmpty()) {
                const QDomElement element = startElement(reader, doc);
                parent = depth == 1 ? doc.appendChild(element) : parent.appendChild(element);
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth > 1 && !usable(parent.toElement()))
                TraceLine(2, "xmllist", __LINE__)
                    << "Unusable value in" << source << "line" << reader.lineNumber() << "entry"
                    << keyOf(parent.toElement()) << "type" << parent.toElement().attribute(kType)
                    << "value" << parent.toElement().text();
            parent = parent.parentNode();
            --depth;
            break;
        case QXmlStreamReader::Characters:
            if (!reader.isWhitespace())
                parent.appendChild(doc.createTextNode(reader.text().toString()));
            break;
        default:
            break;
        }
    }
    if (!reason.isEmpty()) {
        TraceLine(2, "xmllist", __LINE__)
            << "Refused" << source << reason << "at line" << reader.lineNumber();
        return false;
    }
    if (reader.hasError()) {
        TraceLine(2, "xmllist", __LINE__)
            << "Not well-formed:" << source << "line" << reader.lineNumber() << "column"
            << reader.columnNumber() << reader.errorString();
        return false;
    }
    return true;
}

// How many levels the element and its descendants span, the element being one.
// Walks in document order without recursion.
int depthOf(const QDomElement &top)
{
    int deepest = 1;
    int depth = 1;
    QDomElement e = top;
    for (;;) {
        const QDomElement child = e.firstChildElement();
        if (!child.isNull()) {
            e = child;
            deepest = std::max(deepest, ++depth);
            continue;
        }
        while (depth > 1 && e.nextSiblingElement().isNull()) {
            e = e.parentNode().toElement();
            --depth;
        }
        if (depth == 1)
            return deepest;
        e = e.nextSiblingElement();
    }
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

} // namespace

struct XmlList::Data
{
    QDomDocument doc;
    QHash<QString, QDomElement> first;
};

XmlListIterator::XmlListIterator(std::shared_ptr<QDomDocument> doc, const QDomElement &first)
    : keepAlive(std::move(doc))
    , current(first)
{}

void XmlListIterator::next()
{
    if (!current.isNull())
        current = nextEntry(current);
}

QString XmlListIterator::name() const
{
    return current.isNull() ? QString() : keyOf(current);
}

int XmlListIterator::type() const
{
    return current.isNull() ? int(Invalid) : typeOf(current);
}

bool XmlListIterator::getXmlList(XmlList &out) const
{
    if (current.isNull() || !isList(current))
        return false;
    XmlList result;
    for (QDomElement e = current.firstChildElement(); !e.isNull(); e = nextEntry(e))
        result.root().appendChild(result.d->doc.importNode(e, true));
    result.reindex();
    out = result;
    return true;
}

bool XmlListIterator::getText(QString &out) const
{
    if (!answersAs(current, Text))
        return false;
    out = current.text();
    return true;
}

XmlList::XmlList()
    : d(std::make_shared<Data>())
{
    d->doc.appendChild(d->doc.createElement(kList));
}

XmlList XmlList::fromText(const QByteArray &text, const QString &source)
{
    XmlList list;
    list.assignText(text, source);
    return list;
}

void XmlList::assignText(const QByteArray &text, const QString &source)
{
    auto parsed = std::make_shared<Data>();
    if (!readTree(text, source, parsed->doc)) {
        markUnread();
        return;
    }
    d = parsed;
    reindex();
    readOk = true;
}

void XmlList::markUnread()
{
    *this = XmlList();
    readOk = false;
}

QDomElement XmlList::root() const
{
    return d->doc.documentElement();
}

std::shared_ptr<QDomDocument> XmlList::sharedDocument() const
{
    return std::shared_ptr<QDomDocument>(d, &d->doc);
}

void XmlList::reindex()
{
    d->first.clear();
    for (QDomElement e = root().firstChildElement(); !e.isNull(); e = nextEntry(e)) {
        const QString key = keyOf(e);
        if (!d->first.contains(key))
            d->first.insert(key, e);
    }
}

QDomElement XmlList::find(const QString &key) const
{
    return d->first.value(key);
}

bool XmlList::get(QString &out, const QString &key) const
{
    const QDomElement e = find(key);
    if (!answersAs(e, XmlListIterator::Text))
        return false;
    out = e.text();
    return true;
}

bool XmlList::get(quint32 &out, const QString &key) const
{
    const QDomElement e = find(key);
    return answersAs(e, XmlListIterator::Unsigned) && strictNumberText(e.text()) &&
           parseUnsigned(e.text(), out);
}

bool XmlList::get(qint32 &out, const QString &key) const
{
    const QDomElement e = find(key);
    return answersAs(e, XmlListIterator::Signed) && strictNumberText(e.text()) &&
           parseSigned(e.text(), out);
}

bool XmlList::get(bool &out, const QString &key) const
{
    const QDomElement e = find(key);
    return answersAs(e, XmlListIterator::Bool) && parseBool(e.text(), out);
}

bool XmlList::get(XmlList &out, const QString &key) const
{
    return XmlListIterator(sharedDocument(), find(key)).getXmlList(out);
}

bool XmlList::get(QString &out, const XmlListIterator &at) const
{
    return at.getText(out);
}

bool XmlList::get(XmlList &out, const XmlListIterator &at) const
{
    return at.getXmlList(out);
}

QDomElement XmlList::makeEntry(const QString &key, const QString &type)
{
    QDomElement entry;
    if (isPlainXmlName(key)) {
        entry = d->doc.createElement(key);
    } else {
        entry = d->doc.createElement(QStringLiteral("entry"));
        entry.setAttribute(kName, key);
    }
    entry.setAttribute(kType, type);
    return entry;
}

void XmlList::place(const QString &key, const QDomElement &entry, int setType)
{
    const QDomElement old = find(key);
    if (setType == Replace && !old.isNull())
        root().replaceChild(entry, old);
    else
        root().appendChild(entry);
    if (old.isNull() || setType == Replace)
        d->first.insert(key, entry);
}

void XmlList::setLeaf(const QString &key, const QString &text, const QString &type, int setType)
{
    if (!acceptableKey(key))
        return;
    detach();
    QDomElement entry = makeEntry(key, type);
    entry.appendChild(d->doc.createTextNode(text));
    place(key, entry, setType);
    readOk = true;
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
    // Read the value's entries before detaching: `value` may be this very list.
    const QDomElement source = value.root();
    const std::shared_ptr<Data> keepSource = value.d;
    if (!acceptableKey(key))
        return;
    if (1 + depthOf(source) > kMaxDepth) {
        TraceLine(2, "xmllist", __LINE__)
            << "Refused list" << key << "nested deeper than" << kMaxDepth << "levels";
        return;
    }
    detach();
    QDomElement entry = makeEntry(key, kList);
    for (QDomElement e = source.firstChildElement(); !e.isNull(); e = nextEntry(e))
        entry.appendChild(d->doc.importNode(e, true));
    place(key, entry, setType);
    readOk = true;
}

bool XmlList::isEmpty() const
{
    return root().firstChildElement().isNull();
}

int XmlList::size() const
{
    int count = 0;
    for (QDomElement e = root().firstChildElement(); !e.isNull(); e = nextEntry(e))
        ++count;
    return count;
}

void XmlList::clear()
{
    const QString rootName = root().tagName();
    d = std::make_shared<Data>();
    d->doc.appendChild(d->doc.createElement(rootName));
    readOk = true;
}

XmlListIterator XmlList::first() const
{
    return XmlListIterator(sharedDocument(), root().firstChildElement());
}

QByteArray XmlList::toBinary() const
{
    QString out;
    writeElement(out, root(), 0, false);
    return out.toUtf8();
}

QByteArray XmlList::toFileText() const
{
    QString out = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    writeElement(out, root(), 0, true);
    return out.toUtf8();
}

// Equal lists hold the same entries in the same order; the root's name, which
// files choose freely, does not count.
bool XmlList::operator==(const XmlList &other) const
{
    QString mine;
    QString theirs;
    writeEntries(mine, root(), 0, false);
    writeEntries(theirs, other.root(), 0, false);
    return readOk == other.readOk && mine == theirs;
}

void XmlList::detach()
{
    if (d.use_count() == 1)
        return;
    auto copy = std::make_shared<Data>();
    copy->doc = d->doc.cloneNode(true).toDocument();
    d = copy;
    reindex();
}

} // namespace Orvel
