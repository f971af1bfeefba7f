#pragma once

#include <QDateTime>
#include <QString>

namespace Orvel {
class XmlList;
}
class SearchBudget;

// A fixed period after a given instant, counted afresh from each instant
// asked about: the rule keeps no phase of its own. Built from a recovery
// point objective's unit and count, never from a schedule file. It has no
// windows: it contains every instant and cannot be left.
class RepeatPeriod
{
public:
    enum Unit : quint32
    {
        NoUnit = 0,
        Seconds = 1,
        Minutes = 2,
        Hours = 3,
        Days = 4,
        Weeks = 5,
        Months = 6,
        Years = 7
    };

    RepeatPeriod(Unit unit, quint32 count);
    // Schedule files cannot define a repeat period: the rule stays invalid.
    explicit RepeatPeriod(const Orvel::XmlList &body);

    // The unit whose word ("Seconds" to "Years") equals `name` exactly;
    // NoUnit for any other word.
    static Unit unitFromName(QStringView name);

    bool isValid() const { return m_valid; }
    Unit periodUnit() const { return m_unit; }
    quint32 periodCount() const { return m_count; }

    // `from` itself when `includeOpenWindow` is set, else `from` plus one
    // period; none when the rule or `from` is invalid or the sum is out of range.
    [[nodiscard]] QDateTime nextRunTime(const QDateTime &from, bool includeOpenWindow) const;
    bool contains(const QDateTime &) const { return true; }
    [[nodiscard]] QDateTime moveOutside(const QDateTime &, SearchBudget * = nullptr) const
    {
        return QDateTime();
    }

private:
    QDateTime afterOnePeriod(const QDateTime &from) const;

    bool m_valid = false;
    quint32 m_count = 0;
    Unit m_unit = NoUnit;
};
