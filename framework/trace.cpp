#include "trace.h"

#include "xmllist.h"

#include <algorithm>
#include <cstdio>
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

// Recorded lines leave out their time stamp, "YYYY-MM-DDThh:mm:ss.zzz".
constexpr qsizetype kStampLength = 23;

// The trace's two time forms, formatted by hand: a burst of firings writes
// thousands of lines, and QDateTime::toString parses its pattern each time.
// The names are those of the C locale, as toString gives them.
QString stamp(const QDateTime &now)
{
    const QDate date = now.date();
    const QTime time = now.time();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", date.year(),
                  date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec());
    return QString::fromLatin1(text);
}

// "hh:mm:ss ddd MMMM d yyyy"
QString instantText(const QDateTime &instant)
{
    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const months[] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
    const QDate date = instant.date();
    const QTime time = instant.time();
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d %s %s %d %04d", time.hour(), time.minute(),
                  time.second(), days[date.dayOfWeek() - 1], months[date.month() - 1], date.day(),
                  date.year());
    return QString::fromLatin1(text);
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
    m_line = stamp(QDateTime::currentDateTime());
    m_line += QLatin1Char(' ');
    m_line += QString::number(m_lineLevel);
    m_line += QLatin1Char(' ');
    m_line += QString::fromUtf8(file) + QLatin1Char(':') + QString::number(lineNumber);
    m_open = true;
}

void Trace::flush()
{
    if (!m_open)
        return;
    m_open = false;
    QByteArray bytes = m_line.toUtf8();
    bytes.replace('\n', "\\n");
    bytes += '\n';
    m_line.clear();
    record(bytes);
    if (m_sink) {
        m_sink(bytes);
        return;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(m_fd, bytes.constData() + written, size_t(bytes.size() - written));
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
        trace->m_line = stamp(QDateTime::currentDateTime()) + QString::fromUtf8(text.chopped(1));
        trace->m_open = true;
        trace->flush();
    }
}

void Trace::append(const QString &item)
{
    if (!m_open)
        return;
    m_line += QLatin1Char(' ');
    m_line += item;
}

Trace &Trace::operator<<(const QString &text)
{
    append(text);
    return *this;
}

Trace &Trace::operator<<(const char *text)
{
    append(QString::fromUtf8(text));
    return *this;
}

Trace &Trace::operator<<(const QByteArray &text)
{
    append(QString::fromUtf8(text));
    return *this;
}

Trace &Trace::operator<<(qint64 number)
{
    append(QString::number(number));
    return *this;
}

Trace &Trace::operator<<(quint64 number)
{
    append(QString::number(number));
    return *this;
}

Trace &Trace::operator<<(double number)
{
    append(QString::number(number));
    return *this;
}

Trace &Trace::operator<<(bool value)
{
    append(value ? QStringLiteral("true") : QStringLiteral("false"));
    return *this;
}

// Instants are traced as "hh:mm:ss ddd MMMM d yyyy", the form every trace
// text of the scheduler uses; "invalid" stands for none.
Trace &Trace::operator<<(const QDateTime &instant)
{
    append(instant.isValid() ? instantText(instant) : QStringLiteral("invalid"));
    return *this;
}

// Times of day as "hh:mm:ss". Streaming the value instead of its text keeps
// the formatting off the path when the line is filtered out.
Trace &Trace::operator<<(const QTime &time)
{
    append(time.isValid() ? time.toString(QStringLiteral("hh:mm:ss")) : QStringLiteral("invalid"));
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
