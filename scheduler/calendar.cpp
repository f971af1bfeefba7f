#include "calendar.h"

#include "config.h"
#include "fixedpath.h"
#include "timewindow.h"
#include "trace.h"
#include "windowrule.h"

#include <algorithm>

using Orvel::TraceLine;
using Orvel::XmlList;

Calendar::Calendar(const XmlList &body, quint32 ruleSet, const RulesPlace &place)
{
    if (body.isEmpty())
        return;
    const TimeWindow window = TimeWindow::read(body, place);
    m_seconds = window.duration();
    TraceLine(3, "calendar", __LINE__)
        << "Trigger time" << window.startTime() << "duration" << m_seconds << "secs";
    QString name;
    if (!place.read(body, QStringLiteral("Calendar"), name))
        return;
    // A name that would leave the rules folder is refused (and traced) there.
    QString refusal;
    if (Orvel::FixedPath::ruleFile(ruleSet, name, m_fileName, &refusal))
        readCalendarFile(window.startTime(), place);
    else
        place.report(RulesReport::Reason::FileNameRefused, refusal, QStringLiteral("Calendar"));
}

void Calendar::readCalendarFile(const QTime &startTime, const RulesPlace &element)
{
    const Orvel::Config config(m_fileName, QString());
    const RulesPlace file = element.inFile(m_fileName);
    TraceLine(3, "calendar", __LINE__) << "Read calendar file" << m_fileName;
    if (!config) {
        TraceLine(2, "calendar", __LINE__) << "Failed to read calendar file" << m_fileName;
        file.report(RulesReport::Reason::FileUnreadable, config.errorText());
        return;
    }
    XmlList list;
    if (!config.get(list, QStringLiteral("Calendar"))) {
        TraceLine(2, "calendar", __LINE__)
            << "Failed to read dates from calendar file" << m_fileName;
        file.report(RulesReport::Reason::CalendarWithoutDates);
        return;
    }
    const RulesPlace place = file.inside(QStringLiteral("Calendar"));
    int position = 0;
    for (Orvel::XmlListIterator entry = list.first(); !entry.isNull(); entry.next()) {
        if (entry.name() != QLatin1String("Date"))
            continue;
        ++position;
        QString text;
        if (!list.get(text, entry))
            place.passedOver(RulesPlace::numbered(entry.name(), position), "text");
        else if (!addDate(text, startTime))
            place.report(RulesReport::Reason::CalendarDateInvalid, text,
                         RulesPlace::numbered(entry.name(), position));
    }
    std::sort(m_dates.begin(), m_dates.end());
    m_valid = true;
}

bool Calendar::addDate(const QString &text, const QTime &startTime)
{
    const QDate date = QDate::fromString(text, QStringLiteral("yyyyMMdd"));
    const QDateTime start = Orvel::WallTime::at(date, startTime);
    if (!start.isValid()) {
        TraceLine(3, "calendar", __LINE__) << "Got invalid date" << text;
        return false;
    }
    m_dates.append(start);
    TraceLine(3, "calendar", __LINE__) << "Date:" << start << "to" << start.addSecs(m_seconds);
    return true;
}

QDateTime Calendar::nextStartTime(const QDateTime &from) const
{
    if (!m_valid) {
        TraceLine(2, "calendar", __LINE__) << "Cannot get next start time for invalid Calendar";
        return QDateTime();
    }
    if (!from.isValid()) {
        TraceLine(2, "calendar", __LINE__) << "Cannot get next start time for invalid time";
        return QDateTime();
    }
    TraceLine(3, "calendar", __LINE__) << "Get next start time following" << from;
    const auto next = std::upper_bound(m_dates.cbegin(), m_dates.cend(), from);
    return next == m_dates.cend() ? QDateTime() : *next;
}

// `t` lies in a window when some start d has t - duration < d <= t; the
// starts are sorted, so the first start after t - duration decides.
bool Calendar::contains(const QDateTime &t) const
{
    if (!t.isValid() || m_dates.isEmpty())
        return false;
    const auto first =
        std::upper_bound(m_dates.cbegin(), m_dates.cend(), t.addSecs(-qint64(m_seconds)));
    return first != m_dates.cend() && *first <= t;
}

WindowRule<Calendar> Calendar::windows() const
{
    return WindowRule<Calendar>(*this, "calendar", "Cannot get next run time for invalid Calendar");
}

QDateTime Calendar::nextRunTime(const QDateTime &from, bool includeOpenWindow) const
{
    return windows().nextRunTime(from, includeOpenWindow);
}

QDateTime Calendar::moveOutside(const QDateTime &t, SearchBudget *budget) const
{
    return windows().moveOutside(t, budget);
}
