#include "schedtest.h"

#include "repeatperiod.h"

#include <QRegularExpression>

QDateTime at(const char *text)
{
    QString s = QString::fromLatin1(text);
    const bool utc = s.endsWith(QLatin1Char('Z'));
    s.remove(QLatin1Char('Z'));
    const int sign = s.startsWith(QLatin1Char('-')) ? 1 : 0; // a year before 1 AD
    if (s.size() == 16 + sign)
        s += QLatin1String(":00");
    const QDateTime t = QDateTime::fromString(s, s.size() > 19 + sign ? "yyyy-MM-dd hh:mm:ss.zzz"
                                                                      : "yyyy-MM-dd hh:mm:ss");
    return utc ? QDateTime(t.date(), t.time(), Qt::UTC).toLocalTime() : t;
}

QString valueAt(const Orvel::XmlList &list, const QString &path)
{
    const QString key = path.section(QLatin1Char('/'), 0, 0);
    Orvel::XmlList inner;
    if (path.contains(QLatin1Char('/')))
        return list.get(inner, key) ? valueAt(inner, path.section(QLatin1Char('/'), 1)) : QString();
    QString text;
    quint32 number = 0;
    qint32 signedNumber = 0;
    bool flag = false;
    if (list.get(text, key))
        return text;
    if (list.get(number, key))
        return QString::number(number);
    if (list.get(signedNumber, key))
        return QString::number(signedNumber);
    return list.get(flag, key) ? QString::fromLatin1(flag ? "true" : "false") : QString();
}

Schedule dueAt(const QString &name, const QDateTime &when)
{
    Schedule schedule(name, 1, nullptr, false);
    if (!when.isValid())
        return schedule;
    const QDateTime now = Orvel::Clock::now();
    Orvel::Clock::setNow(when);
    schedule.addRepeatPeriod(RepeatPeriod::Days, 1, 1);
    schedule.initiateSchedule();
    Orvel::Clock::setNow(now);
    return schedule;
}

namespace Rules {

namespace {

QByteArray flags(const QStringList &names)
{
    QByteArray text;
    for (const QString &name : names)
        text += "<entry name=\"" + name.toUtf8() + "\" type=\"bool\">true</entry>";
    return text;
}

QByteArray listed(const char *key, const QStringList &names)
{
    return names.isEmpty() ? QByteArray()
                           : "<" + QByteArray(key) + ">" + flags(names) + "</" + key + ">";
}

// The rule's entries from its words: week, month, dates or manual.
QByteArray rule(const QStringList &words)
{
    const QString kind = words.value(0);
    const QStringList rest = words.mid(1);
    if (kind == QLatin1String("week")) {
        static const QRegularExpression day("day$|^All$");
        QStringList weeks = rest;
        weeks.removeIf([](const QString &word) { return day.match(word).hasMatch(); });
        return "<WeekDays type=\"list\">" + listed("Days", QStringList(rest).filter(day)) +
               listed("WeekNumbers", weeks) + "</WeekDays>";
    }
    if (kind == QLatin1String("month"))
        return "<MonthlyDays type=\"list\">" + flags(rest) + "</MonthlyDays>";
    if (kind == QLatin1String("dates"))
        return "<Calendar>" + rest.value(0).toUtf8() + "</Calendar>";
    if (kind == QLatin1String("manual"))
        return "<ManualTrigger><ActivationName>" +
               QString(rest.value(0)).replace('_', ' ').toUtf8() +
               "</ActivationName></ManualTrigger>";
    return QByteArray();
}

} // namespace

QByteArray element(const QString &words)
{
    const int raw = words.indexOf(QLatin1Char('<'));
    QStringList list = words.left(raw).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    static const QRegularExpression roles("^(Trigger|Exclude|Fallback|TriggerFallback|Untyped)$");
    const QString role =
        !list.isEmpty() && roles.match(list.first()).hasMatch() ? list.takeFirst() : "Trigger";
    QByteArray text =
        role == QLatin1String("Untyped") ? QByteArray() : "<Type>" + role.toUtf8() + "</Type>";
    QStringList ruleWords;
    for (const QString &word : list) {
        if (word.contains(QLatin1Char(':')) && word.at(0).isDigit()) {
            const QStringList window = word.split(QLatin1Char('/'));
            text += "<Time>" + window.first().toUtf8() + "</Time>";
            if (window.size() > 1)
                text += "<Duration>" + window.last().toUtf8() + "</Duration>";
        } else if (word.startsWith(QLatin1String("data="))) {
            const QByteArray key =
                role == QLatin1String("Trigger") ? "TriggerData" : "FallbackData";
            text += "<" + key + "><Slot>" + word.mid(5).toUtf8() + "</Slot></" + key + ">";
        } else {
            ruleWords << word;
        }
    }
    return rule(ruleWords) + text + (raw < 0 ? QByteArray() : words.mid(raw).toUtf8());
}

QByteArray scheduleFile(const QStringList &elements, const QByteArray &more)
{
    QByteArray text = "<schedule>";
    for (const QString &words : elements)
        text += "<ScheduleElement>" + element(words) + "</ScheduleElement>";
    return text + more + "</schedule>";
}

QByteArray calendarFile(const QStringList &dates)
{
    QByteArray text = "<c><Calendar type=\"list\">";
    for (const QString &date : dates)
        text += "<Date>" + date.toUtf8() + "</Date>";
    return text + "</Calendar></c>";
}

QByteArray dispatcher(const QStringList &policies)
{
    QByteArray text = "<rules><ReplicationStream><Policies>";
    for (const QString &name : policies)
        text += "<Policy>" + name.toUtf8() + "</Policy>";
    return text + "</Policies></ReplicationStream></rules>";
}

QByteArray operation(const char *kind, const char *name, const char *id, const char *objective,
                     const char *file)
{
    const auto entry = [](const char *key, const char *value, const char *type = "text") {
        return value ? "<" + QByteArray(key) + " type=\"" + type + "\">" + value + "</" + key + ">"
                     : QByteArray();
    };
    return "<" + QByteArray(kind) + ">" + entry("Name", name) + entry("OperationId", id, "uint") +
           entry("RecoveryPointObjective", objective) + entry("ScheduleFile", file) + "</" + kind +
           ">";
}

QByteArray policy(const char *name, const char *firstRule, const QByteArray &operations,
                  const char *mode)
{
    QByteArray text = "<Policy><Policy>" + QByteArray(name) + "</Policy>";
    if (firstRule)
        text += "<FirstRule type=\"uint\">" + QByteArray(firstRule) + "</FirstRule>";
    if (mode)
        text += "<Mode>" + QByteArray(mode) + "</Mode>";
    return text + operations + "</Policy>";
}

} // namespace Rules

SchedulerTest::SchedulerTest()
{
    Orvel::Clock::setNow(at("2026-12-07 07:00"));
    reopenStore();
}

SchedulerTest::~SchedulerTest()
{
    store.reset();
    Orvel::Clock::useSystem();
}

void SchedulerTest::write(const QString &file, const QByteArray &text) const
{
    home.write(QStringLiteral("rules/1/") + file, text);
}

void SchedulerTest::writeRuleSet(quint32 n, const QStringList &policies,
                                 const QByteArray &records) const
{
    home.write(QStringLiteral("rules/%1/dispatcherrules.cfg").arg(n), Rules::dispatcher(policies));
    home.write(QStringLiteral("rules/%1/policyrules.cfg").arg(n), Rules::policyRules(records));
}

Schedule SchedulerTest::loaded(const QStringList &elements)
{
    write(QStringLiteral("s.xml"), Rules::scheduleFile(elements));
    return Schedule(QStringLiteral("P-1-Backup-1"), QStringLiteral("s.xml"), 1, store.get(), true);
}

Schedule SchedulerTest::started(const QStringList &elements)
{
    write(QStringLiteral("s.xml"), Rules::scheduleFile(elements));
    return restarted();
}

Schedule SchedulerTest::restarted(const QString &name)
{
    Schedule s(name, QStringLiteral("s.xml"), 1, store.get(), true);
    s.initiateSchedule();
    return s;
}

void SchedulerTest::reopenStore()
{
    store.reset();
    store = std::make_unique<Orvel::ConfigLocal>(QStringLiteral("scheduler.cfg"));
}

void PrintTo(const QDateTime &instant, std::ostream *out)
{
    *out << (instant.isValid() ? instant.toString(Qt::ISODateWithMs).toStdString() : "none");
}
