#pragma once

#include "rulesplace.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

namespace Orvel {
class XmlList;
}
template<typename Rule> class WindowRule;
class SearchBudget;

// The rule of explicit dates: one window on each date of a calendar file in
// the rule set's folder. The element body names the file ("Calendar") and
// gives the window ("Time", "Duration"); the file's "Calendar" list holds
// "Date" entries as "yyyyMMdd". The file is read once, when the rule is built.
class Calendar
{
public:
    // `place` names the element in trace lines about entries of the wrong shape.
    Calendar(const Orvel::XmlList &body, quint32 ruleSet, const RulesPlace &place = RulesPlace());

    bool isValid() const { return m_valid; }
    quint32 duration() const { return m_seconds; }
    // The calendar file's path, and the window starts it gave, ascending.
    QString calendarFile() const { return m_fileName; }
    QList<QDateTime> windowStarts() const { return m_dates; }

    // The first listed window start strictly after `from`; none if none.
    [[nodiscard]] QDateTime nextStartTime(const QDateTime &from) const;
    [[nodiscard]] QDateTime nextRunTime(const QDateTime &from, bool includeOpenWindow) const;
    bool contains(const QDateTime &t) const;
    [[nodiscard]] QDateTime moveOutside(const QDateTime &t, SearchBudget *budget = nullptr) const;

private:
    void readCalendarFile(const QTime &startTime, const RulesPlace &element);
    // False, with nothing added, when `text` names no date.
    bool addDate(const QString &text, const QTime &startTime);
    WindowRule<Calendar> windows() const;

    bool m_valid = false;
    QString m_fileName;
    QList<QDateTime> m_dates; // window starts, ascending; a date listed twice is here twice
    quint32 m_seconds = 0;
};
