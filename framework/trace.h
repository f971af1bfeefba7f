#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace Orvel {

class XmlList;

// The lines a piece of work wrote to the trace, without their time stamps,
// to be written again: work done once on behalf of many (a file read for
// every rule that names it, a search shared by every schedule with the same
// rules) traces for each of them as if each had done it.
using TraceLines = QList<QByteArray>;

// The process's trace: one line per flush(), filtered by level.
//
//   YYYY-MM-DDThh:mm:ss.zzz L file:line item item ...
//
// Configured from ORVEL_TRACE_LEVEL (highest level written, -1 turns tracing
// off and object() is then null) and ORVEL_TRACE_FILE (standard error when
// unset). Each line is written with a single write(2), so lines from several
// processes appending to one file never interleave.
class Trace
{
public:
    enum Level
    {
        TraceAlways = 0,
        TraceNormal = 1,
        TraceVerbose = 2,
        TraceTesting = 3,
        TraceDebug = 4
    };

    static Trace *object();

    // `area` is kept for the caller's convenience; every area is traced alike.
    // Answers whether a line of `level` is written, and remembers the level
    // for the line that entry() opens next.
    bool doTrace(int area, int level);
    void entry(int area, const char *file, int line);
    void flush();

    Trace &operator<<(const QString &text);
    Trace &operator<<(const char *text);
    Trace &operator<<(const QByteArray &text);
    Trace &operator<<(qint64 number);
    Trace &operator<<(quint64 number);
    Trace &operator<<(int number) { return *this << qint64(number); }
    Trace &operator<<(unsigned number) { return *this << quint64(number); }
    Trace &operator<<(long number) { return *this << qint64(number); }
    Trace &operator<<(unsigned long number) { return *this << quint64(number); }
    Trace &operator<<(double number);
    Trace &operator<<(bool value);
    Trace &operator<<(const QDateTime &instant);
    Trace &operator<<(const QTime &time);
    Trace &operator<<(const XmlList &list);

    // Re-reads the environment; the first object() call does this too.
    static void configure();
    // Test seam: every finished line goes to `sink` instead of the file.
    static void setSink(std::function<void(const QByteArray &)> sink);

    // Writes recorded lines again, each with the time stamp of now.
    static void replay(const TraceLines &lines);

private:
    friend class TraceHold;
    Trace() = default;
    void write(const QByteArray &line);
    void append(QByteArrayView utf8);
    void appendBytes(QByteArrayView text);
    void record(const QByteArray &line);

    int m_maxLevel = TraceVerbose;
    int m_lineLevel = 0;
    int m_fd = 2;
    QByteArray m_line;
    bool m_open = false;
    std::function<void(const QByteArray &)> m_sink;
};

// Records the lines written while it lives (besides writing them), also
// those replayed; recordings nest. Nothing is recorded when tracing is off.
class TraceRecording
{
public:
    TraceRecording();
    ~TraceRecording();
    TraceRecording(const TraceRecording &) = delete;
    TraceRecording &operator=(const TraceRecording &) = delete;

    const TraceLines &lines() const { return m_lines; }

private:
    friend class Trace;
    TraceLines m_lines;
};

// Keeps back the lines written while it lives, for work that may turn out
// to be undone: release() writes them as they were (time stamps included),
// otherwise they are dropped with it. Recordings still see each line as it
// is written. Holds nest.
class TraceHold
{
public:
    TraceHold();
    ~TraceHold();
    TraceHold(const TraceHold &) = delete;
    TraceHold &operator=(const TraceHold &) = delete;

    // Writes the lines kept so far and keeps none from now on.
    void release();

private:
    friend class Trace;
    TraceHold *m_outer;
    TraceLines m_lines;
    bool m_holding = true;
};

// One trace line, guarded, opened and flushed in one statement:
//   TraceLine(2, "schedule", __LINE__) << "Empty schedule file" << path;
// It does nothing when tracing is off or the level is filtered out.
class TraceLine
{
public:
    TraceLine(int level, const char *file, int line);
    ~TraceLine();
    TraceLine(const TraceLine &) = delete;
    TraceLine &operator=(const TraceLine &) = delete;

    template<typename T> TraceLine &operator<<(const T &item)
    {
        if (m_trace)
            *m_trace << item;
        return *this;
    }

private:
    Trace *m_trace = nullptr;
};

} // namespace Orvel
