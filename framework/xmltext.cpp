#include "xmltext.h"

#include "fileio.h"
#include "plainxml.h"
#include "trace.h"
#include "xmlentries.h"
#include "xmllist.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

namespace Orvel {

static_assert(XmlText::kMaxTextBytes >= FileIo::kMaxFileBytes,
              "every file a reader accepts must be allowed to parse");

using namespace XmlStorage;

namespace {

// What a piece of text must escape on its way into the document, as a mask
// of the markup table below: nothing (tags and attribute names), a text's
// markup, or an attribute's as well.
enum class Escape : unsigned char
{
    None = 0,
    Text = 1,
    Attribute = 2
};

// For each ASCII character, the escapes that change it: control characters
// and "&<>" in texts and attributes, '"' in attributes only.
constexpr std::array<unsigned char, 128> kMarkup = [] {
    std::array<unsigned char, 128> table{};
    for (int c = 0; c < 0x20; ++c)
        table[size_t(c)] = 3;
    table['&'] = table['<'] = table['>'] = 3;
    table['"'] = 2;
    return table;
}();

// What a character that needs an escape becomes.
QByteArrayView entityOf(char16_t u)
{
    switch (u) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\n':
        return "&#10;";
    case '\r':
        return "&#13;";
    case '\t':
        return "&#9;";
    default:
        // XML cannot carry other control characters at all.
        return "\xEF\xBF\xBD"; // U+FFFD
    }
}

// The text form being written, in UTF-8, into one buffer that grows by
// doubling. Each piece is written through a pointer into room made for its
// worst case, not byte by byte through a string's checks: a store of
// thousands of records (3 MB for 10,000 schedules) is written once per
// timer pass.
class Writer
{
public:
    explicit Writer(bool indent)
        : m_indent(indent)
    {}

    QByteArray take()
    {
        m_bytes.truncate(m_size);
        return std::move(m_bytes);
    }

    void put(QByteArrayView bytes)
    {
        std::memcpy(room(bytes.size()), bytes.data(), size_t(bytes.size()));
        m_size += bytes.size();
    }

    // Nearly every character is ASCII without markup and goes in as one
    // byte. Runs of characters beyond ASCII go through Qt's own encoder, so
    // that they come out exactly as QString::toUtf8 gives them.
    void put(QStringView text, Escape escape)
    {
        const unsigned mask = unsigned(escape);
        // A UTF-16 unit becomes at most 6 bytes ("&quot;"); in UTF-8, at most 3.
        char *const start = room(text.size() * 6);
        char *to = start;
        const char16_t *from = text.utf16();
        const char16_t *const end = from + text.size();
        while (from != end) {
            const char16_t u = *from;
            if (u < 0x80 && (kMarkup[u] & mask) == 0) {
                *to++ = char(u);
                ++from;
                continue;
            }
            const char16_t *next = from + 1;
            QByteArray encoded;
            if (u >= 0x80) {
                while (next != end && *next >= 0x80)
                    ++next;
                encoded = QStringView(from, next).toUtf8();
            }
            const QByteArrayView piece = u >= 0x80 ? QByteArrayView(encoded) : entityOf(u);
            std::memcpy(to, piece.data(), size_t(piece.size()));
            to += piece.size();
            from = next;
        }
        m_size += to - start;
    }

    void tag(const QString &name, const Attributes &attributes)
    {
        put("<");
        put(name, Escape::None);
        for (const Attribute &a : attributes) {
            put(" ");
            put(a.name, Escape::None);
            put("=\"");
            put(a.value, Escape::Attribute);
            put("\"");
        }
        put(">");
    }

    // Writes one element: its entries when `list` is set, else its text.
    void element(const XmlEntry &e, const XmlEntries *list, int depth)
    {
        margin(depth);
        tag(e.tag, e.attributes);
        if (list) {
            lineEnd();
            entries(*list, depth + 1);
            margin(depth);
        } else {
            put(e.text, Escape::Text);
        }
        put("</");
        put(e.tag, Escape::None);
        put(">");
        lineEnd();
    }

    // A small list's text is kept with it and put again as long as the list
    // is unchanged and written at the same indent.
    void entries(const XmlEntries &list, int depth)
    {
        const int margin = m_indent ? depth * 2 : 0;
        if (list.written.margin == margin) {
            put(list.written.text);
            return;
        }
        const qsizetype start = m_size;
        for (const XmlEntry &e : list.entries) {
            const XmlEntries *inner = e.list ? e.list.get() : noEntries().get();
            element(e, e.isList() ? inner : nullptr, depth);
        }
        if (m_size - start <= kMostBytesKept)
            list.written = {QByteArray(m_bytes.constData() + start, m_size - start), margin};
    }

    // The root is written as a list once it has entries or says it is one.
    void root(const XmlEntries &root)
    {
        XmlEntry top;
        top.tag = root.tag;
        top.attributes = root.attributes;
        const bool list = !root.entries.empty() || top.typeName() == kList;
        element(top, list ? &root : nullptr, 0);
    }

private:
    // Room for `most` bytes at the end. QByteArray leaves grown bytes
    // unset, and grows a large buffer in place where it can.
    char *room(qsizetype most)
    {
        if (m_size + most > m_bytes.size())
            m_bytes.resize(std::max(2 * m_bytes.size(), m_size + most));
        return m_bytes.data() + m_size;
    }

    void margin(int depth)
    {
        if (!m_indent)
            return;
        const qsizetype width = qsizetype(depth) * 2;
        std::memset(room(width), ' ', size_t(width));
        m_size += width;
    }

    void lineEnd()
    {
        if (m_indent)
            put("\n");
    }

    // Records and event data are a few hundred bytes; a whole store is not
    // kept a second time.
    static constexpr qsizetype kMostBytesKept = 4096;

    const bool m_indent;
    QByteArray m_bytes;
    qsizetype m_size = 0;
};

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

} // namespace

QString XmlStorage::brokenLimit(int depth, qint64 nodes, qsizetype keyLength)
{
    if (depth > XmlList::kMaxDepth)
        return QStringLiteral("is nested deeper than %1 levels").arg(XmlList::kMaxDepth);
    if (nodes > XmlText::kMaxNodes)
        return QStringLiteral("has more than %1 elements and attributes").arg(XmlText::kMaxNodes);
    if (depth < 2)
        return QString();
    if (keyLength == 0)
        return QStringLiteral("has an empty key");
    if (keyLength > XmlList::kMaxKeyLength)
        return QStringLiteral("has a key longer than %1 characters").arg(XmlList::kMaxKeyLength);
    return QString();
}

const XmlEntry *TreeBuilder::close()
{
    OpenElement done = std::move(m_open.back());
    m_open.pop_back();
    if (m_open.empty()) {
        m_document = done.inner ? std::move(done.inner) : std::make_shared<XmlEntries>();
        m_document->tag = done.entry.tag;
        m_document->attributes = done.entry.attributes;
        return nullptr;
    }
    XmlEntry &e = done.entry;
    e.list = std::move(done.inner);
    std::shared_ptr<XmlEntries> &siblings = m_open.back().inner;
    if (!siblings)
        siblings = std::make_shared<XmlEntries>();
    siblings->append(std::move(e));
    return &siblings->entries.back();
}

namespace {

XmlEntry startEntry(const QXmlStreamReader &reader)
{
    Attributes attributes;
    for (const QXmlStreamAttribute &a : reader.attributes())
        attributes.append({interned(a.qualifiedName()), a.value().toString()});
    return elementEntry(interned(reader.qualifiedName()), std::move(attributes));
}

} // namespace

// Builds the tree in one pass of a streaming reader, checking every limit
// before an element is added, so that hostile text never grows a tree beyond
// them. A document type declaration is refused outright: its entities could
// expand without bound or name outside files. Whitespace between entries is
// dropped. Writes the trace line and answers null on any refusal.
std::shared_ptr<XmlEntries> XmlStorage::streamRead(const QByteArray &text, const QString &source,
                                                   QString &why)
{
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
    TreeBuilder tree;
    qint64 nodes = 0;
    QString reason;
    while (reason.isEmpty() && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            reason = QStringLiteral("has a document type declaration");
            break;
        case QXmlStreamReader::StartElement: {
            XmlEntry e = startEntry(reader);
            nodes += 1 + reader.attributes().size();
            reason = brokenLimit(tree.depth() + 1, nodes, e.key.size());
            if (reason.isEmpty())
                tree.open(std::move(e));
            break;
        }
        case QXmlStreamReader::EndElement:
            if (const XmlEntry *e = tree.close(); e && !usable(*e))
                TraceLine(2, "xmltext", __LINE__)
                    << "Unusable value in" << source << "line" << reader.lineNumber() << "entry"
                    << e->key << "type" << e->typeName() << "value" << e->text;
            break;
        case QXmlStreamReader::Characters:
            if (!reader.isWhitespace() && tree.depth() > 0)
                tree.text() += reader.text();
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
    return tree.document();
}

namespace {

std::shared_ptr<XmlEntries> readTree(const QByteArray &text, const QString &source, QString &why)
{
    if (text.size() > XmlText::kMaxTextBytes) {
        TraceLine(2, "xmltext", __LINE__)
            << "Refused" << source << "is larger than" << XmlText::kMaxTextBytes << "bytes";
        why = QStringLiteral("larger than %1 bytes").arg(XmlText::kMaxTextBytes);
        return nullptr;
    }
    if (std::shared_ptr<XmlEntries> plain = PlainXml::read(text))
        return plain;
    return streamRead(text, source, why);
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

QByteArray XmlText::write(const XmlEntries &root, bool indent)
{
    Writer out(indent);
    if (indent)
        out.put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    out.root(root);
    return out.take();
}

QByteArray XmlText::writeEntries(const XmlEntries &list)
{
    Writer out(false);
    out.entries(list, 0);
    return out.take();
}

} // namespace Orvel
