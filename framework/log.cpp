#include "log.h"

#include <QDateTime>
#include <QRegularExpression>

#include <fcntl.h>
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
    static const QRegularExpression placeholder(QStringLiteral("%([1-3])s"));
    QString filled;
    QList<bool> placed(values.size(), false);
    qsizetype from = 0;
    for (auto it = placeholder.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const int index = match.captured(1).toInt() - 1;
        if (index >= values.size())
            continue;
        filled += text.mid(from, match.capturedStart() - from) + values.at(index);
        from = match.capturedEnd();
        placed[index] = true;
    }
    filled += text.mid(from);
    for (int i = 0; i < values.size(); ++i) {
        if (!placed.at(i))
            filled += QLatin1Char(' ') + values.at(i);
    }
    return filled;
}

void writeToFile(const QByteArray &path, const QString &line)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const QByteArray bytes = line.toUtf8() + '\n';
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    (void)written; // an event log that cannot be written must not stop the process
    ::close(fd);
}

// Under systemd the journal takes the line with its fields, so that
// `journalctl POLICY=Gold` finds it; false when it cannot, and syslog has it.
bool sendToJournal(const QString &message, int priority, const Log::Fields &fields)
{
    if (!qEnvironmentVariableIsSet("INVOCATION_ID"))
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
        writeToFile(path,
                    QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")) +
                        QLatin1Char(' ') + line);
        return;
    }
    const int priority = syslogPriority(m_stateLine ? 1 : m_level);
    if (sendToJournal(line, priority, m_fields))
        return;
    openlog("orvel-scheduler", LOG_PID, LOG_DAEMON);
    syslog(priority, "%s", line.toUtf8().constData());
}

} // namespace Orvel
