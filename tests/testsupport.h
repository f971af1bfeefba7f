#pragma once

#include <QByteArrayList>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

namespace Orvel {
class XmlList;
// Lets GoogleTest print lists in failure messages.
void PrintTo(const XmlList &list, std::ostream *out);
} // namespace Orvel

// The bytes of the file at `path`; empty when it cannot be read.
QByteArray fileBytes(const QString &path);

// The list read from `text`, its source named "test" in trace lines.
Orvel::XmlList parsed(const QByteArray &text);

// Lets GoogleTest print texts (and lists of them) readably.
void PrintTo(const QString &text, std::ostream *out);

// Collects trace lines up to `level` for the lifetime of the object. Captures
// nest: an inner one takes the lines until it ends, then the outer one again.
class TraceCapture
{
public:
    explicit TraceCapture(int level = 4);
    ~TraceCapture();
    TraceCapture(const TraceCapture &) = delete;
    TraceCapture &operator=(const TraceCapture &) = delete;

    // The items of the captured lines of `upToLevel` or below, without time
    // stamp, level and source.
    QStringList texts(int upToLevel = 4) const;
    QStringList lines() const { return captured; }
    bool contains(const QString &text) const { return texts().contains(text); }
    // Whether a line of `level` from the source file `source` has a text that begins with `text`.
    bool contains(int level, const QString &source, const QString &text) const;

private:
    void install();

    int level;
    TraceCapture *outer;
    QStringList captured;
};

// What the event log sent to the journal, an entry's "FIELD=value" items
// each: this binary's own sd_journal_sendv() keeps them instead of a journald.
extern QList<QByteArrayList> journal;

class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const { return captured; }

private:
    QStringList captured;
};

// A fresh ORVEL_HOME for one test, removed afterwards.
class TempHome
{
public:
    TempHome();
    ~TempHome();
    QString path() const { return dir.path(); }
    // Writes `text` to `relativePath` below the home, creating folders.
    void write(const QString &relativePath, const QByteArray &text) const;

private:
    QTemporaryDir dir;
    QByteArray previous;
};
