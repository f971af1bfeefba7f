#include "xmltext.h"

#include "fileio.h"
#include "trace.h"
#include "xmlentries.h"
#include "xmllist.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <utility>
#include <vector>

namespace Orvel {

static_assert(XmlText::kMaxTextBytes >= FileIo::kMaxFileBytes,
              "every file a reader accepts must be allowed to parse");

using namespace XmlStorage;

namespace {

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
    if (nodes > XmlText::kMaxNodes)
        return QStringLiteral("has more than %1 elements and attributes").arg(XmlText::kMaxNodes);
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
        TraceLine(2, "xmltext", __LINE__)
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
std::shared_ptr<XmlEntries> readTree(const QByteArray &text, const QString &source, QString &why)
{
    if (text.size() > XmlText::kMaxTextBytes) {
        TraceLine(2, "xmltext", __LINE__)
            << "Refused" << source << "is larger than" << XmlText::kMaxTextBytes << "bytes";
        why = QStringLiteral("larger than %1 bytes").arg(XmlText::kMaxTextBytes);
        return nullptr;
    }
    // Counted before any XML reader runs: Qt's reader slows down with the
    // square of the attributes on one element.
    if (mostAttributes(text) > XmlText::kMaxAttributes) {
        TraceLine(2, "xmltext", __LINE__) << "Refused" << source << "has an element with more than"
                                          << XmlText::kMaxAttributes << "attributes";
        why = QStringLiteral("has an element with more than %1 attributes")
                  .arg(XmlText::kMaxAttributes);
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
        TraceLine(2, "xmltext", __LINE__)
            << "Refused" << source << reason << "at line" << reader.lineNumber();
        why = QStringLiteral("%1 at line %2").arg(reason).arg(reader.lineNumber());
        return nullptr;
    }
    if (reader.hasError()) {
        TraceLine(2, "xmltext", __LINE__)
            << "Not well-formed:" << source << "line" << reader.lineNumber() << "column"
            << reader.columnNumber() << reader.errorString();
        why = QStringLiteral("not well-formed at line %1, column %2: %3")
                  .arg(reader.lineNumber())
                  .arg(reader.columnNumber())
                  .arg(reader.errorString());
        return nullptr;
    }
    return document;
}

} // namespace

std::shared_ptr<XmlEntries> XmlText::read(const QByteArray &text, const QString &source,
                                          QString *why)
{
    QString reason;
    std::shared_ptr<XmlEntries> entries = readTree(text, source, reason);
    if (why)
        *why = reason;
    return entries;
}

QString XmlText::write(const XmlEntries &root, bool indent)
{
    QString out;
    if (indent)
        out = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    writeRoot(out, root, indent);
    return out;
}

QString XmlText::writeEntries(const XmlEntries &list)
{
    QString out;
    Orvel::writeEntries(out, list, 0, false);
    return out;
}

} // namespace Orvel
