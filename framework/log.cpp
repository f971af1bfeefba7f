#include "log.h"

#include "stamp.h"

#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <syslog.h>
// Every entry would name the same line of this file: leave the location out.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <vector>

namespace Orvel {

namespace {

std::function<void(const QString &)> &sinkSlot()
{
    static std::function<void(const QString &)> sink;
    return sink;
}

// Higher event-log levels are more severe: 4 marks start-up failures, 1 routine firings.
int syslogPriority(int level)
{
    switch (level) {
    case 0:
    case 1:
        return LOG_INFO;
    case 2:
        return LOG_NOTICE;
    case 3:
        return LOG_WARNING;
    default:
        return LOG_ERR;
    }
}

// One pass over the message: a value that itself reads "%3s" (a policy may be
// named so) is written as it stands, never filled in again.
QString fill(const QString &text, const QStringList &values)
{
    QString filled;
    QList<bool> placed(values.size(), false);
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(QLatin1Char('%')); at >= 0 && at + 2 < text.size();
         at = text.indexOf(QLatin1Char('%'), at + 1)) {
        const int index = text.at(at + 1).unicode() - '1';
        if (index < 0 || index > 2 || text.at(at + 2) != QLatin1Char('s') || index >= values.size())
            continue;
        filled += QStringView(text).sliced(from, at - from);
        filled += values.at(index);
        from = at + 3;
        at += 2;
        placed[index] = true;
    }
    filled += QStringView(text).sliced(from);
    for (int i = 0; i < values.size(); ++i) {
        if (!placed.at(i))
            filled += QLatin1Char(' ') + values.at(i);
    }
    return filled;
}

// The event-log file, kept open from line to line: opening and closing it
// for each line cost more than all the rest of a firing. Lines are appended
// (O_APPEND), so those of several processes never interleave. Once a second
// at most, the path is looked at again: when it names another file or none
// (the log was rotated or removed), the file is opened anew, so a line goes
// to the rotated file for at most the rest of that second.
class LogFile
{
public:
    void write(const QByteArray &path, const QByteArray &line)
    {
        const time_t second = ::time(nullptr);
        if (path != m_path || (second != m_checkedAt && !isOpen(path)))
            open(path);
        m_checkedAt = second;
        if (m_fd < 0)
            return;
        const ssize_t written = ::write(m_fd, line.constData(), size_t(line.size()));
        (void)written; // an event log that cannot be written must not stop the process
    }

private:
    bool isOpen(const QByteArray &path) const
    {
        struct stat named
        {
        };
        return m_fd >= 0 && ::stat(path.constData(), &named) == 0 && named.st_dev == m_device &&
               named.st_ino == m_inode;
    }

    void open(const QByteArray &path)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_path = path;
        m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        struct stat opened
        {
        };
        if (m_fd >= 0 && ::fstat(m_fd, &opened) == 0) {
            m_device = opened.st_dev;
            m_inode = opened.st_ino;
        }
    }

    QByteArray m_path;
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    time_t m_checkedAt = -1;
};

void writeToFile(const QByteArray &path, const QString &line)
{
    static LogFile file;
    QByteArray bytes;
    Stamp::appendNow(bytes, false);
    bytes += ' ';
    bytes += line.toUtf8();
    bytes += '\n';
    file.write(path, bytes);
}

bool underSystemd()
{
    return qEnvironmentVariableIsSet("INVOCATION_ID");
}

// Under systemd the journal takes the line with its fields, so that
// `journalctl POLICY=Gold` finds it; false when it cannot, and syslog has it.
bool sendToJournal(const QString &message, int priority, const Log::Fields &fields)
{
    if (!underSystemd())
        return false;
    QList<QByteArray> entries = {"MESSAGE=" + message.toUtf8(),
                                 "PRIORITY=" + QByteArray::number(priority),
                                 "SYSLOG_FACILITY=" + QByteArray::number(LOG_DAEMON >> 3),
                                 "SYSLOG_IDENTIFIER=orvel-scheduler"};
    for (const auto &[name, value] : fields)
        entries << name + '=' + value.toUtf8();
    std::vector<iovec> vectors;
    for (QByteArray &entry : entries)
        vectors.push_back({entry.data(), size_t(entry.size())});
    return sd_journal_sendv(vectors.data(), int(vectors.size())) >= 0;
}

} // namespace

void Log::setSink(std::function<void(const QString &)> sink)
{
    sinkSlot() = std::move(sink);
}

bool Log::keepsFields()
{
    return !sinkSlot() && qEnvironmentVariableIsEmpty("ORVEL_LOG_FILE") && underSystemd();
}

void Log::initialiseMessage(const QString &messageCategory, int messageLevel,
                            const QStringList &parameters)
{
    m_category = messageCategory;
    m_level = messageLevel;
    m_stateLine = false;
    m_open = true;
    m_text.clear();
    m_values = parameters;
    m_fields.clear();
}

void Log::initialiseStateLogging(const QString &process, const QString &group, int state)
{
    initialiseMessage(QStringLiteral("State"), 1);
    m_stateLine = true;
    m_text = process + QLatin1Char('/') + group + QLatin1Char(' ') + QString::number(state);
}

Log &Log::operator<<(const QString &value)
{
    if (!m_open)
        return *this;
    if (m_text.isEmpty() && !m_stateLine)
        m_text = value;
    else
        m_values << value;
    return *this;
}

void Log::sendMessage()
{
    if (!m_open)
        return;
    m_open = false;
    const QString message = fill(m_text, m_values);
    const QString line = m_stateLine ? QStringLiteral("State ") + message
                                     : m_category + QLatin1Char(' ') + QString::number(m_level) +
                                           QLatin1Char(' ') + message;
    if (sinkSlot()) {
        sinkSlot()(line);
        return;
    }
    const QByteArray path = qgetenv("ORVEL_LOG_FILE");
    if (!path.isEmpty()) {
        writeToFile(path, line);
        return;
    }
    const int priority = syslogPriority(m_stateLine ? 1 : m_level);
    if (sendToJournal(line, priority, m_fields))
        return;
    openlog("orvel-scheduler", LOG_PID, LOG_DAEMON);
    syslog(priority, "%s", line.toUtf8().constData());
}

} // namespace Orvel
