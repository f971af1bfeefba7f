#include "scheduletestsupport.h"

#include "fixedpath.h"

ScheduleTest::ScheduleTest()
{
    setNow(at(2026, 12, 7, 7, 0)); // a Monday
    reopenStore();
}

ScheduleTest::~ScheduleTest()
{
    store.reset();
    Orvel::Clock::useSystem();
}

QDateTime ScheduleTest::at(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

void ScheduleTest::writeScheduleFile(const QString &fileName, const QStringList &elements,
                                     const QByteArray &scheduleData) const
{
    QByteArray text = "<schedule>";
    for (const QString &element : elements)
        text += "<ScheduleElement>" + element.toUtf8() + "</ScheduleElement>";
    text += scheduleData + "</schedule>";
    home.write(QStringLiteral("rules/1/") + fileName, text);
}

Schedule ScheduleTest::schedule(const QString &fileName, const QString &name)
{
    return Schedule(name, fileName, 1, store.get(), true);
}

void ScheduleTest::reopenStore()
{
    store.reset();
    store = std::make_unique<Orvel::ConfigLocal>(QStringLiteral("scheduler.cfg"));
}

QString ScheduleTest::storedText(const QString &name, const char *key) const
{
    const Orvel::Config file(Orvel::FixedPath::local(), QStringLiteral("scheduler.cfg"));
    Orvel::XmlList record;
    QString text;
    if (file.get(record, name))
        record.get(text, QString::fromUtf8(key));
    return text;
}

QStringList firings(const TraceCapture &trace)
{
    // "Schedule triggered:  name  at  <when>  occured  <now>", when and now
    // five words each.
    QStringList found;
    for (const QString &text : trace.texts().filter(QLatin1String("Schedule triggered:  ")))
        found << text.section(QLatin1Char(' '), 3, 3) + ' ' +
                     text.section(QLatin1Char(' '), 15, 15);
    return found;
}

namespace Elements {

namespace {
QString window(const char *time, int duration)
{
    if (!time)
        return QString();
    return QStringLiteral("<Time>%1</Time><Duration>%2</Duration>")
        .arg(QString::fromUtf8(time))
        .arg(duration);
}

QString dataEntry(const char *type, const char *data)
{
    if (!data)
        return QString();
    const QString key = QString::fromUtf8(type) == QLatin1String("Trigger")
                            ? QStringLiteral("TriggerData")
                            : QStringLiteral("FallbackData");
    return QStringLiteral("<%1><Slot>%2</Slot></%1>").arg(key, QString::fromUtf8(data));
}
} // namespace

QString weekdays(const char *type, const QStringList &days, const char *time, int duration)
{
    QString list;
    for (const QString &day : days)
        list += QStringLiteral("<%1>true</%1>").arg(day);
    return QStringLiteral("<Type>%1</Type><WeekDays><Days>%2</Days><WeekNumbers><All>true</All>"
                          "</WeekNumbers></WeekDays>")
               .arg(QString::fromUtf8(type), list) +
           window(time, duration);
}

QString daily(const char *type, const char *time, int duration, const char *data)
{
    return weekdays(type, {QStringLiteral("All")}, time, duration) + dataEntry(type, data);
}

QString manual(const char *name, const char *data)
{
    return QStringLiteral("<Type>Trigger</Type><ManualTrigger><ActivationName>%1</ActivationName>"
                          "</ManualTrigger>")
               .arg(QString::fromUtf8(name)) +
           dataEntry("Trigger", data);
}

QString calendar(const char *type, const char *file, const char *time, int duration)
{
    return QStringLiteral("<Type>%1</Type><Calendar>%2</Calendar>")
               .arg(QString::fromUtf8(type), QString::fromUtf8(file)) +
           window(time, duration);
}

} // namespace Elements
