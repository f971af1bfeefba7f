#include "plainxml.h"

#include "xmlentries.h"
#include "xmltext.h"

#include <QVarLengthArray>

#include <algorithm>

namespace Orvel {

using namespace XmlStorage;

namespace {

constexpr QByteArrayView kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// Bytes that the streaming reader takes as they are. Anything it would
// decode (UTF-8, references), normalise (carriage returns) or refuse
// (control characters) leaves the text to it.
bool isPlainByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x20 && u < 0x7f && c != '&') || c == '\n' || c == '\t';
}

// A name read from ASCII text, shared like the streaming reader's.
QString internedName(QByteArrayView name)
{
    QVarLengthArray<char16_t, 64> wide(name.size());
    std::copy(name.begin(), name.end(), wide.begin());
    return interned(QStringView(wide.constData(), wide.size()));
}

class Reader
{
public:
    Reader(QByteArrayView text, const std::function<void(const XmlEntry &)> &eachTopEntry)
        : m_text(text)
        , m_eachTopEntry(eachTopEntry)
    {}

    std::shared_ptr<XmlEntries> document()
    {
        if (!std::all_of(m_text.begin(), m_text.end(), isPlainByte))
            return nullptr;
        if (m_text.startsWith(kDeclaration))
            m_at = kDeclaration.size();
        skipSpace();
        if (!readTag(true))
            return nullptr;
        while (m_tree.depth() > 0) {
            if (!(at('<') ? readTag(false) : readText()))
                return nullptr;
        }
        skipSpace();
        return m_at == m_text.size() ? m_tree.document() : nullptr;
    }

private:
    bool at(char c) const { return m_at < m_text.size() && m_text.at(m_at) == c; }

    bool skipSpace()
    {
        const qsizetype from = m_at;
        while (m_at < m_text.size() && isSpace(m_text.at(m_at)))
            ++m_at;
        return m_at > from;
    }

    bool skip(char c)
    {
        if (!at(c))
            return false;
        ++m_at;
        return true;
    }

    QByteArrayView readName()
    {
        const qsizetype from = m_at;
        if (m_at < m_text.size() && isPlainNameStart(m_text.at(m_at))) {
            while (++m_at < m_text.size() && isPlainNameChar(m_text.at(m_at))) {
            }
        }
        return m_text.sliced(from, m_at - from);
    }

    // A start or an end tag; the document starts with a start tag.
    bool readTag(bool first)
    {
        if (!skip('<'))
            return false;
        if (!skip('/'))
            return readStartTag();
        const QByteArrayView name = readName();
        skipSpace();
        if (first || !skip('>') || name != m_names.back())
            return false;
        return close();
    }

    bool readStartTag()
    {
        const QByteArrayView tag = readName();
        if (tag.isEmpty())
            return false;
        Attributes attributes;
        bool empty = false;
        while (!skip('>')) {
            if (m_text.sliced(m_at).startsWith("/>")) {
                m_at += 2;
                empty = true;
                break;
            }
            // Each attribute is checked against the earlier ones: past the
            // limit, a hostile tag would cost the square of its length.
            if (!skipSpace() || !(at('>') || at('/') || readAttribute(attributes)) ||
                attributes.size() > XmlText::kMaxAttributes)
                return false;
        }
        m_nodes += 1 + attributes.size();
        XmlEntry e = elementEntry(internedName(tag), std::move(attributes));
        if (!brokenLimit(m_tree.depth() + 1, m_nodes, e.key.size()).isEmpty())
            return false;
        m_tree.open(std::move(e));
        m_names.push_back(tag);
        return !empty || close();
    }

    bool close()
    {
        m_names.pop_back();
        const XmlEntry *e = m_tree.close();
        if (!e)
            return true;
        if (!usable(*e))
            return false;
        if (m_eachTopEntry && m_tree.depth() == 1)
            m_eachTopEntry(*e);
        return true;
    }

    // Values with whitespace other than spaces are left to the streaming
    // reader, which normalises them.
    bool readAttribute(Attributes &attributes)
    {
        const QByteArrayView name = readName();
        skipSpace();
        if (name.isEmpty() || !skip('='))
            return false;
        skipSpace();
        const char quote = at('"') ? '"' : '\'';
        if (!skip(quote))
            return false;
        const qsizetype end = m_text.indexOf(quote, m_at);
        if (end < 0)
            return false;
        const QByteArrayView value = m_text.sliced(m_at, end - m_at);
        m_at = end + 1;
        if (std::any_of(value.begin(), value.end(),
                        [](char c) { return c == '<' || c == '\t' || c == '\n'; }))
            return false;
        const QString key = internedName(name);
        if (attribute(attributes, key))
            return false;
        attributes.append({key, QString::fromLatin1(value)});
        return true;
    }

    // Text up to the next tag; whitespace alone between tags is dropped.
    bool readText()
    {
        const qsizetype end = m_text.indexOf('<', m_at);
        if (end < 0)
            return false;
        const QByteArrayView text = m_text.sliced(m_at, end - m_at);
        m_at = end;
        if (text.contains("]]>"))
            return false;
        if (!std::all_of(text.begin(), text.end(), isSpace))
            m_tree.text() += QLatin1StringView(text);
        return true;
    }

    const QByteArrayView m_text;
    const std::function<void(const XmlEntry &)> &m_eachTopEntry;
    qsizetype m_at = 0;
    qint64 m_nodes = 0;
    TreeBuilder m_tree;
    std::vector<QByteArrayView> m_names; // the open elements' tags, as written
};

} // namespace

std::shared_ptr<XmlEntries>
PlainXml::read(QByteArrayView text, const std::function<void(const XmlEntry &)> &eachTopEntry)
{
    return Reader(text, eachTopEntry).document();
}

} // namespace Orvel
