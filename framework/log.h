#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

namespace Orvel {

// The event log: messages for operators, to ORVEL_LOG_FILE when set, else
// under systemd to the journal with the message's fields, else to syslog
// (tag "orvel-scheduler" in both). File lines read
//
//   YYYY-MM-DDThh:mm:ss category level text
//
// The first text streamed after initialiseMessage() is the message; "%1s",
// "%2s" and "%3s" in it take the values streamed after it, in order. Values
// without a placeholder are appended, separated by a blank.
class Log
{
public:
    // The category of the framework's own faults, which keep a process from
    // running: the bus, the store, the process's bus name.
    static constexpr QLatin1StringView kFaultCategory{"Replication"};
    // Journal fields: a name in capitals, digits and '_' ("POLICY"), and its value.
    using Fields = QList<std::pair<QByteArray, QString>>;

    void initialiseMessage(const QString &category, int level, const QStringList &parameters = {});
    // Prepares the line "State <process>/<group> <state>"; sendMessage() writes it.
    void initialiseStateLogging(const QString &process, const QString &group, int state);

    Log &operator<<(const QString &value);
    Log &operator<<(const char *value) { return *this << QString::fromUtf8(value); }
    Log &operator<<(qint64 value) { return *this << QString::number(value); }
    Log &operator<<(int value) { return *this << QString::number(value); }
    Log &operator<<(unsigned value) { return *this << QString::number(value); }
    // Fields the journal finds this message by; the file and syslog lines leave them out.
    void setFields(const Fields &messageFields) { m_fields = messageFields; }
    // Whether messages go to the journal, the one place that keeps fields: a
    // caller need not work them out otherwise.
    static bool keepsFields();

    void sendMessage();

    // Test seam: every finished line (without time stamp) goes to `sink`.
    static void setSink(std::function<void(const QString &)> sink);

private:
    QString m_category;
    int m_level = 0;
    bool m_stateLine = false;
    bool m_open = false;
    QString m_text;
    QStringList m_values;
    Fields m_fields;
};

} // namespace Orvel
