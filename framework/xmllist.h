#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace Orvel {

class XmlList;
// The storage behind XmlList: an entry, and the entries of one list.
struct XmlEntry;
struct XmlEntries;

// Walks the entries of one XmlList in order. It keeps the entries it walks
// alive, so it stays usable even if the list it came from is changed.
class XmlListIterator
{
public:
    enum Type
    {
        Invalid = 0,
        List = 1,
        Text = 2,
        Unsigned = 3,
        Bool = 4,
        Signed = 5
    };

    XmlListIterator() = default;

    bool isNull() const;
    void next();
    QString name() const;
    int type() const;

    bool getXmlList(XmlList &out) const;
    bool getText(QString &out) const;

private:
    friend class XmlList;
    explicit XmlListIterator(std::shared_ptr<const XmlEntries> entries);
    const XmlEntry *current() const;

    std::shared_ptr<const XmlEntries> m_data;
    int m_index = 0;
};

// An ordered list of named entries: texts, numbers, bools and nested lists.
// Every message body, configuration file and stored record is one.
//
// A value type: copies share their entries until one of them is written, so
// a write through one copy is never seen in another.
//
// get() answers false and leaves `out` untouched when the entry is absent or
// of another type. An untyped leaf is a text, and also answers as a number or
// bool when its whole text parses strictly as one; a typed leaf answers only
// to its own type.
class XmlList
{
public:
    enum SetType
    {
        Append = 0,
        Replace = 1
    };

    // Limits on what a list may hold, kept by the setters and by the text
    // form's reader alike (xmltext.h adds the reader's own), so that what is
    // set can always be written and read back.
    //
    // Rules need a handful of levels and message bodies wrap them in a few
    // more; 32 leaves room for both and bounds every recursion on a tree.
    static constexpr int kMaxDepth = 32;
    // Keys are names of policies, rules, schedules and activations, far
    // shorter than this; a longer key is a broken or hostile document.
    static constexpr int kMaxKeyLength = 1024;

    XmlList();

    // Parses the text form. `source` names the file or message in the trace
    // line written when the text is not well-formed or breaks a limit above
    // (or has a document type declaration: no entity is ever expanded or
    // opened); the answer is then an empty list that converts to false.
    static XmlList fromText(const QByteArray &text, const QString &source);

    bool get(QString &out, const QString &key) const;
    bool get(quint32 &out, const QString &key) const;
    bool get(qint32 &out, const QString &key) const;
    bool get(bool &out, const QString &key) const;
    bool get(XmlList &out, const QString &key) const;
    bool get(QString &out, const XmlListIterator &at) const;
    bool get(XmlList &out, const XmlListIterator &at) const;
    // Whether an entry of that key is there, whatever its type: a get() that
    // failed for an entry that is there failed for its shape.
    bool contains(const QString &key) const;

    // A setter refuses, with a trace line and the list unchanged, an empty key,
    // a key longer than kMaxKeyLength, and a nested list that would make this
    // list deeper than kMaxDepth: what is set can always be read back.
    void set(const QString &key, const QString &value, int setType);
    void set(const QString &key, const char *value, int setType);
    void set(const QString &key, quint32 value, int setType);
    void set(const QString &key, qint32 value, int setType);
    void set(const QString &key, bool value, int setType);
    void set(const QString &key, const XmlList &value, int setType);

    bool isEmpty() const;
    int size() const;
    void clear();
    XmlListIterator first() const;

    // The text form on one line, UTF-8.
    QByteArray toBinary() const;
    // The text form with an XML declaration and one entry per line, for files.
    QByteArray toFileText() const;

    // False when the list came from a read that failed and nothing was set
    // since; true otherwise.
    explicit operator bool() const { return m_readOk; }

    // Equal when both write the same text (a control character and U+FFFD
    // write alike) and both read alike.
    bool operator==(const XmlList &other) const;
    bool operator!=(const XmlList &other) const { return !(*this == other); }
    // Entry for entry the same tags, attributes, texts and nested lists:
    // stricter than ==, and without writing either list.
    bool hasSameEntries(const XmlList &other) const;

protected:
    // Replaces the whole content with what `text` holds, as fromText() does;
    // `why`, when given, says in words why it could not be read.
    void assignText(const QByteArray &text, const QString &source, QString *why = nullptr);
    void markUnread();

private:
    friend class XmlListIterator;
    friend class XmlFeed;

    explicit XmlList(std::shared_ptr<XmlEntries> entries);
    void place(XmlEntry entry, int setType);
    void setLeaf(const QString &key, const QString &text, const QString &type, int setType);
    void detach();

    // A nested list shares its entries with every list that holds it or was
    // read out of it, so reading a sublist copies nothing; a writer copies
    // only the one level it writes.
    std::shared_ptr<XmlEntries> m_entries;
    bool m_readOk = true;
};

} // namespace Orvel
