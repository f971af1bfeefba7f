#pragma once

// The fixture and element builders that tst_schedulenext and tst_scheduledocs
// still use, on top of schedtest.h.

#include "schedtest.h"

class ScheduleTest : public SchedulerTest
{
protected:
    static QDateTime at(int year, int month, int day, int hour, int minute, int second = 0)
    {
        return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
    }
    void setNow(const QDateTime &now) { Orvel::Clock::setNow(now); }
    // Writes rules/1/<fileName> holding the given element bodies.
    void writeScheduleFile(const QString &fileName, const QStringList &elements) const
    {
        QByteArray text = "<schedule>";
        for (const QString &element : elements)
            text += "<ScheduleElement>" + element.toUtf8() + "</ScheduleElement>";
        write(fileName, text + "</schedule>");
    }
    Schedule schedule(const QString &fileName, const QString &name = QStringLiteral("P-1-Backup-1"))
    {
        return Schedule(name, fileName, 1, store.get(), true);
    }
};

// Element bodies for the common rules.
namespace Elements {
inline QString words(const char *type, const QString &rule, const char *time, int duration,
                     const char *data = nullptr)
{
    QString text = QString::fromLatin1(type) + ' ' + rule;
    if (time)
        text += QStringLiteral(" %1/%2").arg(QLatin1String(time)).arg(duration);
    if (data)
        text += QStringLiteral(" data=") + QLatin1String(data);
    return QString::fromUtf8(Rules::element(text));
}
inline QString daily(const char *type, const char *time, int duration, const char *data = nullptr)
{
    return words(type, QStringLiteral("week All"), time, duration, data);
}
inline QString weekdays(const char *type, const QStringList &days, const char *time = nullptr,
                        int duration = 0)
{
    return words(type, QStringLiteral("week ") + days.join(' '), time, duration);
}
inline QString manual(const char *name, const char *data = nullptr)
{
    return words("Trigger", QStringLiteral("manual ") + name, nullptr, 0, data);
}
inline QString calendar(const char *type, const char *file, const char *time = nullptr,
                        int duration = 0)
{
    return words(type, QStringLiteral("dates ") + file, time, duration);
}
} // namespace Elements
