#pragma once

// The storage behind XmlList: the value type (xmllist.cpp) and its text form
// (xmltext.cpp) share it; nothing else looks inside.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <algorithm>
#include <memory>
#include <vector>

namespace Orvel {

namespace XmlStorage {

inline const QString kName = QStringLiteral("name");
inline const QString kType = QStringLiteral("type");
inline const QString kList = QStringLiteral("list");
inline const QString kText = QStringLiteral("text");
inline const QString kUint = QStringLiteral("uint");
inline const QString kInt = QStringLiteral("int");
inline const QString kBool = QStringLiteral("bool");

// Lists up to this many entries are searched by a walk, which for the short
// lists of message bodies and rules costs less than keeping an index.
constexpr int kMostEntriesWalked = 16;

struct Attribute
{
    QString name;
    QString value;

    bool operator==(const Attribute &other) const
    {
        return name == other.name && value == other.value;
    }
};

// The ASCII letters a name we write as an element starts with, and what may
// follow them: names that every XML parser reads alike.
inline bool isPlainNameStart(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
inline bool isPlainNameChar(char16_t c)
{
    return isPlainNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Most entries carry a type alone, and entries of one type share one list
// (typeOnly()), so that a list costs an entry its 24 bytes and no heap.
using Attributes = QList<Attribute>;

inline const QString *attribute(const Attributes &attributes, const QString &name)
{
    for (const Attribute &a : attributes) {
        if (a.name == name)
            return &a.value;
    }
    return nullptr;
}

} // namespace XmlStorage

struct XmlEntry
{
    QString tag;
    QString key;                       // the name attribute, else the tag
    XmlStorage::Attributes attributes; // in name order, so that equal lists write alike
    QString text;                      // a leaf's
    std::shared_ptr<XmlEntries> list;  // a nested list's entries, null when it has none

    bool isList() const
    {
        const QString *type = list ? nullptr : XmlStorage::attribute(attributes, XmlStorage::kType);
        return list || (type && *type == XmlStorage::kList);
    }
    QString typeName() const
    {
        const QString *type = XmlStorage::attribute(attributes, XmlStorage::kType);
        return type ? *type : QString();
    }
};

struct XmlEntries
{
    // The root element's tag and attributes, which files choose freely; a
    // nested list, or one built in memory, has a bare "list".
    QString tag = XmlStorage::kList;
    XmlStorage::Attributes attributes;
    std::vector<XmlEntry> entries;
    // The first entry of each key, once there are too many to walk.
    QHash<QString, int> first;
    // The text of the entries as last written (xmltext.cpp), kept for small
    // lists: a store rewrites thousands of unchanged records on every save,
    // and a schedule's event data is written for every firing. Lists live on
    // one thread, so a const write may fill it. XmlList::place() clears it;
    // no other change is made to entries once they are shared.
    struct Written
    {
        QByteArray text;
        int margin = -1; // the entries' indent in spaces; -1: none kept
    };
    mutable Written written;

    const XmlEntry *find(const QString &key) const
    {
        const int i = indexOf(key);
        return i < 0 ? nullptr : &entries[size_t(i)];
    }

    int indexOf(const QString &key) const
    {
        if (entries.size() > size_t(XmlStorage::kMostEntriesWalked))
            return first.value(key, -1);
        const auto it = std::find_if(entries.begin(), entries.end(),
                                     [&key](const XmlEntry &e) { return e.key == key; });
        return it == entries.end() ? -1 : int(it - entries.begin());
    }

    void append(XmlEntry entry)
    {
        entries.push_back(std::move(entry));
        const int count = int(entries.size());
        if (count == XmlStorage::kMostEntriesWalked + 1) {
            // Walked backwards so that the first entry of a key wins.
            for (int i = count - 1; i >= 0; --i)
                first.insert(entries[size_t(i)].key, i);
        } else if (count > XmlStorage::kMostEntriesWalked + 1 &&
                   !first.contains(entries.back().key)) {
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

namespace XmlStorage {

// Whether some get() answers the entry; the reader traces a leaf that none
// ever will, so that an operator sees why a value is ignored.
bool usable(const XmlEntry &e);
// What every list starts from; the first write copies it.
const std::shared_ptr<XmlEntries> &noEntries();
// One shared copy of a tag, attribute name or type per thread: a store or
// the event data of 10,000 schedules repeats the same few, and a shared
// copy saves each entry a heap block of its own.
QString interned(QStringView name);
// The attributes of an entry that carries a type alone, shared likewise.
Attributes typeOnly(const QString &type);
// The entry an element read from text starts: its attributes in name order
// (shared when a type alone), its key the name attribute, else the tag.
XmlEntry elementEntry(const QString &tag, Attributes attributes);
// Whether the two hold entry for entry the same tags, attributes, and texts
// of leaves or entries of lists.
bool sameEntries(const XmlEntries &a, const XmlEntries &b);
// What limit an element read from text breaks, in words, or an empty text.
// Only entries have keys: the root (depth 1) has a free name.
QString brokenLimit(int depth, qint64 nodes, qsizetype keyLength);

// The tree the streaming reader builds from `text`, or null with the trace
// line and `why` set (xmltext.h). XmlText::read takes a faster way first
// where it can (plainxml.h); the tests hold the two to the same answers.
std::shared_ptr<XmlEntries> streamRead(const QByteArray &text, const QString &source, QString &why);

// A tree as it is read, element by element, by either text reader.
class TreeBuilder
{
public:
    int depth() const { return int(m_open.size()); }
    void open(XmlEntry entry) { m_open.push_back({std::move(entry), nullptr}); }
    // The innermost open element's text, for what is read inside it.
    QString &text() { return m_open.back().entry.text; }
    // Closes the innermost element, which is a list when entries were read
    // inside it, and adds it to the entries of the one around it; the root's
    // entries become the document's. Answers the entry added, null for the root.
    const XmlEntry *close();
    std::shared_ptr<XmlEntries> document() const { return m_document; }

private:
    // An element being read, and the entries read inside it so far.
    struct OpenElement
    {
        XmlEntry entry;
        std::shared_ptr<XmlEntries> inner;
    };
    std::vector<OpenElement> m_open;
    std::shared_ptr<XmlEntries> m_document;
};

} // namespace XmlStorage

} // namespace Orvel
