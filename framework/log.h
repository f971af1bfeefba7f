#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace Orvel {

// The event log: messages for operators, to ORVEL_LOG_FILE when set, else to
// syslog (tag "orvel-scheduler"). File lines read
//
//   YYYY-MM-DDThh:mm:ss category level text
//
// The first text streamed after initialiseMessage() is the message; "%1s",
// "%2s" and "%3s" in it take the values streamed after it, in order. Values
// without a placeholder are appended, separated by a blank.
class Log
{
public:
    void initialiseMessage(const QString &category, int level, const QStringList &parameters = {});
    // Prepares the line "State <process>/<group> <state>"; sendMessage() writes it.
    void initialiseStateLogging(const QString &process, const QString &group, int state);

    Log &operator<<(const QString &value);
    Log &operator<<(const char *value) { return *this << QString::fromUtf8(value); }
    Log &operator<<(qint64 value) { return *this << QString::number(value); }
    Log &operator<<(int value) { return *this << QString::number(value); }
    Log &operator<<(unsigned value) { return *this << QString::number(value); }

    void sendMessage();

    // Test seam: every finished line (without time stamp) goes to `sink`.
    static void setSink(std::function<void(const QString &)> sink);

private:
    QString category;
    int level = 0;
    bool stateLine = false;
    bool open = false;
    QString text;
    QStringList values;
};

} // namespace Orvel
