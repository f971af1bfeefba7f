#include "trace.h"

#include "stamp.h"
#include "xmllist.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace Orvel {

namespace {

std::unique_ptr<Trace> &instance()
{
    static std::unique_ptr<Trace> trace;
    return trace;
}

bool configured = false;

// The recordings alive, innermost last.
std::vector<TraceRecording *> &recordings()
{
    static std::vector<TraceRecording *> active;
    return active;
}

// The innermost hold alive, if any.
TraceHold *holding = nullptr;

// Recorded lines leave out their time stamp, "YYYY-MM-DDThh:mm:ss.zzz".
constexpr qsizetype kStampLength = 23;

// "hh:mm:ss ddd MMMM d yyyy", formatted by hand: a burst of firings traces
// thousands of instants, and QDateTime::toString parses its pattern each
// time. The names are those of the C locale, as toString gives them.
void appendInstant(QByteArray &out, const QDateTime &instant)
{
    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const months[] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
    const QDate date = instant.date();
    const QTime time = instant.time();
    Stamp::appendNumber(out, unsigned(time.hour()), 2);
    out += ':';
    Stamp::appendNumber(out, unsigned(time.minute()), 2);
    out += ':';
    Stamp::appendNumber(out, unsigned(time.second()), 2);
    out += ' ';
    out += days[date.dayOfWeek() - 1];
    out += ' ';
    out += months[date.month() - 1];
    out += ' ';
    Stamp::appendNumber(out, unsigned(date.day()), 1);
    out += ' ';
    Stamp::appendNumber(out, unsigned(date.year()), 4);
}

bool isAscii(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; });
}

int levelFromEnvironment()
{
    bool ok = false;
    const int level = qEnvironmentVariableIntValue("ORVEL_TRACE_LEVEL", &ok);
    return ok ? level : Trace::TraceVerbose;
}

} // namespace

void Trace::configure()
{
    configured = true;
    const int level = levelFromEnvironment();
    std::function<void(const QByteArray &)> keptSink;
    if (instance())
        keptSink = instance()->m_sink;
    if (instance() && instance()->m_fd > 2)
        ::close(instance()->m_fd);
    if (level < 0) {
        instance().reset();
        return;
    }
    instance().reset(new Trace);
    instance()->m_maxLevel = level;
    instance()->m_sink = keptSink;
    const QByteArray path = qgetenv("ORVEL_TRACE_FILE");
    if (!path.isEmpty()) {
        const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (file >= 0)
            instance()->m_fd = file;
    }
}

Trace *Trace::object()
{
    if (!configured)
        configure();
    return instance().get();
}

void Trace::setSink(std::function<void(const QByteArray &)> sink)
{
    if (Trace *trace = object())
        trace->m_sink = std::move(sink);
}

bool Trace::doTrace(int, int level)
{
    m_lineLevel = level;
    return level <= m_maxLevel;
}

void Trace::entry(int, const char *file, int lineNumber)
{
    m_line.clear();
    Stamp::appendNow(m_line, true);
    m_line += ' ';
    m_line += QByteArray::number(m_lineLevel);
    m_line += ' ';
    m_line += file;
    m_line += ':';
    m_line += QByteArray::number(lineNumber);
    m_open = true;
}

void Trace::flush()
{
    if (!m_open)
        return;
    m_open = false;
    m_line.replace('\n', "\\n");
    m_line += '\n';
    record(m_line);
    write(m_line);
}

void Trace::write(const QByteArray &line)
{
    if (holding) {
        holding->m_lines.append(line);
        return;
    }
    if (m_sink) {
        m_sink(line);
        return;
    }
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(m_fd, line.constData() + written, size_t(line.size() - written));
        if (n <= 0)
            return;
        written += n;
    }
}

void Trace::record(const QByteArray &line)
{
    for (TraceRecording *recording : recordings())
        recording->m_lines.append(line.mid(kStampLength));
}

// Each line goes through flush() again, as if written anew.
void Trace::replay(const TraceLines &lines)
{
    Trace *trace = object();
    if (!trace)
        return;
    for (const QByteArray &text : lines) {
        trace->m_line.clear();
        Stamp::appendNow(trace->m_line, true);
        trace->m_line += text.chopped(1);
        trace->m_open = true;
        trace->flush();
    }
}

// The line is kept in UTF-8, as it is written: items go in as they come,
// without a round trip through QString for each.
void Trace::append(QByteArrayView utf8)
{
    if (!m_open)
        return;
    m_line += ' ';
    m_line += utf8;
}

// Bytes streamed are taken as UTF-8; anything but ASCII goes through
// QString, so that a malformed sequence is written as QString would.
void Trace::appendBytes(QByteArrayView text)
{
    if (isAscii(text))
        append(text);
    else
        append(QString::fromUtf8(text).toUtf8());
}

Trace &Trace::operator<<(const QString &text)
{
    append(text.toUtf8());
    return *this;
}

Trace &Trace::operator<<(const char *text)
{
    appendBytes(text);
    return *this;
}

Trace &Trace::operator<<(const QByteArray &text)
{
    appendBytes(text);
    return *this;
}

Trace &Trace::operator<<(qint64 number)
{
    append(QByteArray::number(number));
    return *this;
}

Trace &Trace::operator<<(quint64 number)
{
    append(QByteArray::number(number));
    return *this;
}

Trace &Trace::operator<<(double number)
{
    append(QString::number(number).toUtf8());
    return *this;
}

Trace &Trace::operator<<(bool value)
{
    append(value ? "true" : "false");
    return *this;
}

// Instants are traced as "hh:mm:ss ddd MMMM d yyyy", the form every trace
// text of the scheduler uses; "invalid" stands for none.
Trace &Trace::operator<<(const QDateTime &instant)
{
    if (!m_open)
        return *this;
    if (!instant.isValid())
        return *this << "invalid";
    m_line += ' ';
    appendInstant(m_line, instant);
    return *this;
}

// Times of day as "hh:mm:ss". Streaming the value instead of its text keeps
// the formatting off the path when the line is filtered out.
Trace &Trace::operator<<(const QTime &time)
{
    append(time.isValid() ? time.toString(QStringLiteral("hh:mm:ss")).toUtf8() : "invalid");
    return *this;
}

Trace &Trace::operator<<(const XmlList &list)
{
    return *this << list.toBinary();
}

TraceRecording::TraceRecording()
{
    recordings().push_back(this);
}

TraceRecording::~TraceRecording()
{
    auto &active = recordings();
    active.erase(std::remove(active.begin(), active.end(), this), active.end());
}

TraceHold::TraceHold()
    : m_outer(holding)
{
    holding = this;
}

TraceHold::~TraceHold()
{
    if (m_holding)
        holding = m_outer;
}

// An outer hold keeps what this one lets go.
void TraceHold::release()
{
    if (!m_holding)
        return;
    m_holding = false;
    holding = m_outer;
    if (Trace *trace = Trace::object()) {
        for (const QByteArray &line : std::as_const(m_lines))
            trace->write(line);
    }
    m_lines.clear();
}

TraceLine::TraceLine(int level, const char *file, int line)
{
    Trace *t = Trace::object();
    if (t && t->doTrace(1024, level)) {
        m_trace = t;
        m_trace->entry(0, file, line);
    }
}

TraceLine::~TraceLine()
{
    if (m_trace)
        m_trace->flush();
}

} // namespace Orvel
