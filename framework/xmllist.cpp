#include "xmllist.h"

#include "trace.h"
#include "xmlentries.h"
#include "xmltext.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace Orvel {

using namespace XmlStorage;

namespace {

// An element name we write for a key; anything else goes into a name attribute
// ("1 st", "Ä", keys with blanks). ASCII only, so every XML parser agrees.
bool isPlainXmlName(const QString &key)
{
    if (key.isEmpty() || key.startsWith(QLatin1String("xml"), Qt::CaseInsensitive))
        return false;
    if (!isPlainNameStart(key.front().unicode()))
        return false;
    return std::all_of(key.begin() + 1, key.end(),
                       [](QChar c) { return isPlainNameChar(c.unicode()); });
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

} // namespace

bool XmlStorage::usable(const XmlEntry &e)
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

const std::shared_ptr<XmlEntries> &XmlStorage::noEntries()
{
    static const std::shared_ptr<XmlEntries> none = std::make_shared<XmlEntries>();
    return none;
}

QString XmlStorage::interned(QStringView name)
{
    // Bounded, so that a file of many distinct tags cannot grow it for ever;
    // past the bound names are simply copied.
    constexpr size_t kMostNames = 512;
    thread_local std::unordered_map<size_t, QString> names;
    const size_t hash = qHash(name);
    const auto it = names.find(hash);
    if (it != names.end() && it->second == name)
        return it->second;
    QString copy = name.toString();
    if (it == names.end() && names.size() < kMostNames)
        names.emplace(hash, copy);
    return copy;
}

Attributes XmlStorage::typeOnly(const QString &type)
{
    constexpr qsizetype kMostTypes = 64;
    thread_local QHash<QString, Attributes> types;
    const auto it = types.constFind(type);
    if (it != types.constEnd())
        return *it;
    const Attributes attributes{{kType, type}};
    if (types.size() < kMostTypes)
        types.insert(type, attributes);
    return attributes;
}

bool XmlStorage::sameEntries(const XmlEntries &a, const XmlEntries &b)
{
    if (&a == &b)
        return true;
    if (a.entries.size() != b.entries.size())
        return false;
    for (size_t i = 0; i < a.entries.size(); ++i) {
        const XmlEntry &x = a.entries[i];
        const XmlEntry &y = b.entries[i];
        if (x.tag != y.tag || x.attributes != y.attributes || x.isList() != y.isList())
            return false;
        if (x.isList()
                ? !sameEntries(x.list ? *x.list : *noEntries(), y.list ? *y.list : *noEntries())
                : x.text != y.text)
            return false;
    }
    return true;
}

XmlEntry XmlStorage::elementEntry(const QString &tag, Attributes attributes)
{
    XmlEntry e;
    e.tag = tag;
    if (attributes.size() == 1 && attributes.first().name == kType) {
        e.attributes = typeOnly(attributes.first().value);
    } else {
        std::sort(attributes.begin(), attributes.end(),
                  [](const Attribute &a, const Attribute &b) { return a.name < b.name; });
        e.attributes = std::move(attributes);
    }
    const QString *name = attribute(e.attributes, kName);
    e.key = name ? *name : e.tag;
    return e;
}

namespace {

XmlEntry makeEntry(const QString &key, const QString &type)
{
    XmlEntry e;
    if (isPlainXmlName(key)) {
        e.key = interned(key);
        e.tag = e.key;
        e.attributes = typeOnly(type);
    } else {
        e.key = key;
        e.tag = QStringLiteral("entry");
        e.attributes = {{kName, key}, {kType, type}};
    }
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
    : m_data(std::move(entries))
{}

const XmlEntry *XmlListIterator::current() const
{
    if (!m_data || m_index < 0 || size_t(m_index) >= m_data->entries.size())
        return nullptr;
    return &m_data->entries[size_t(m_index)];
}

bool XmlListIterator::isNull() const
{
    return current() == nullptr;
}

void XmlListIterator::next()
{
    if (current())
        ++m_index;
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
    : m_entries(noEntries())
{}

XmlList::XmlList(std::shared_ptr<XmlEntries> entries)
    : m_entries(std::move(entries))
{}

XmlList XmlList::fromText(const QByteArray &text, const QString &source)
{
    XmlList list;
    list.assignText(text, source);
    return list;
}

void XmlList::assignText(const QByteArray &text, const QString &source, QString *why)
{
    std::shared_ptr<XmlEntries> parsed = XmlText::read(text, source, why);
    if (!parsed) {
        markUnread();
        return;
    }
    m_entries = std::move(parsed);
    m_readOk = true;
}

void XmlList::markUnread()
{
    *this = XmlList();
    m_readOk = false;
}

bool XmlList::get(QString &out, const QString &key) const
{
    const XmlEntry *e = m_entries->find(key);
    if (!answersAs(e, XmlListIterator::Text))
        return false;
    out = e->text;
    return true;
}

bool XmlList::get(quint32 &out, const QString &key) const
{
    const XmlEntry *e = m_entries->find(key);
    return answersAs(e, XmlListIterator::Unsigned) && strictNumberText(e->text) &&
           parseUnsigned(e->text, out);
}

bool XmlList::get(qint32 &out, const QString &key) const
{
    const XmlEntry *e = m_entries->find(key);
    return answersAs(e, XmlListIterator::Signed) && strictNumberText(e->text) &&
           parseSigned(e->text, out);
}

bool XmlList::get(bool &out, const QString &key) const
{
    const XmlEntry *e = m_entries->find(key);
    return answersAs(e, XmlListIterator::Bool) && parseBool(e->text, out);
}

bool XmlList::get(XmlList &out, const QString &key) const
{
    XmlListIterator at(m_entries);
    at.m_index = m_entries->indexOf(key);
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

bool XmlList::contains(const QString &key) const
{
    return m_entries->indexOf(key) >= 0;
}

void XmlList::detach()
{
    if (m_entries.use_count() > 1)
        m_entries = std::make_shared<XmlEntries>(*m_entries);
}

void XmlList::place(XmlEntry entry, int setType)
{
    detach();
    m_entries->written = {};
    const int old = m_entries->indexOf(entry.key);
    if (setType == Replace && old >= 0)
        m_entries->entries[size_t(old)] = std::move(entry);
    else
        m_entries->append(std::move(entry));
    m_readOk = true;
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
    if (1 + value.m_entries->depth() > kMaxDepth) {
        TraceLine(2, "xmllist", __LINE__)
            << "Refused list" << key << "nested deeper than" << kMaxDepth << "levels";
        return;
    }
    XmlEntry entry = makeEntry(key, kList);
    // Taken before placing: `value` may be this very list, which keeps its
    // old entries in the new one.
    if (!value.m_entries->entries.empty())
        entry.list = asNested(value.m_entries);
    place(std::move(entry), setType);
}

bool XmlList::isEmpty() const
{
    return m_entries->entries.empty();
}

int XmlList::size() const
{
    return int(m_entries->entries.size());
}

void XmlList::clear()
{
    const QString rootName = m_entries->tag;
    m_entries = noEntries();
    if (rootName != kList) {
        m_entries = std::make_shared<XmlEntries>();
        m_entries->tag = rootName;
    }
    m_readOk = true;
}

XmlListIterator XmlList::first() const
{
    return XmlListIterator(m_entries);
}

QByteArray XmlList::toBinary() const
{
    return XmlText::write(*m_entries, false);
}

QByteArray XmlList::toFileText() const
{
    return XmlText::write(*m_entries, true);
}

// Equal lists hold the same entries in the same order; the root's name, which
// files choose freely, does not count.
bool XmlList::operator==(const XmlList &other) const
{
    return m_readOk == other.m_readOk &&
           XmlText::writeEntries(*m_entries) == XmlText::writeEntries(*other.m_entries);
}

bool XmlList::hasSameEntries(const XmlList &other) const
{
    return sameEntries(*m_entries, *other.m_entries);
}

} // namespace Orvel
