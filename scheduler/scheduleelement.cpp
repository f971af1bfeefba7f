#include "scheduleelement.h"

#include "calendar.h"
#include "daysofmonth.h"
#include "daysofweek.h"
#include "manualtrigger.h"
#include "repeatperiod.h"
#include "trace.h"

using Orvel::TraceLine;
using Orvel::XmlList;

ScheduleElement::ScheduleElement(const XmlList &entry, unsigned ruleSet)
    : m_ruleSet(ruleSet)
{
    if (entry.isEmpty())
        return;
    readRole(entry);
    readRule(entry);
}

ScheduleElement::ScheduleElement(unsigned unit, unsigned count, unsigned ruleSet)
    : m_ruleSet(ruleSet)
    , m_role(Role::Trigger)
{
    adopt(RepeatPeriod(RepeatPeriod::Unit(unit), count), Kind::RepeatPeriod,
          "Invalid RepeatPeriod for schedule element");
}

void ScheduleElement::readRole(const XmlList &entry)
{
    QString type;
    if (!entry.get(type, QStringLiteral("Type")))
        return;
    if (type == QLatin1String("Exclude")) {
        m_role = Role::Exclusion;
        TraceLine(3, "scheduleelement", __LINE__) << "Reading Exclusion <ScheduleElement>";
    } else if (type == QLatin1String("Trigger")) {
        m_role = Role::Trigger;
        TraceLine(3, "scheduleelement", __LINE__) << "Reading Trigger <ScheduleElement>";
        entry.get(m_data, QStringLiteral("TriggerData"));
    } else if (type == QLatin1String("Fallback") || type == QLatin1String("TriggerFallback")) {
        m_role = Role::Fallback;
        TraceLine(3, "scheduleelement", __LINE__) << "Reading Fallback <ScheduleElement>";
        entry.get(m_data, QStringLiteral("FallbackData"));
    } else {
        TraceLine(2, "scheduleelement", __LINE__) << "Unknown schedule element type:" << type;
    }
}

// The first rule entry present decides the kind; later ones are not looked at.
void ScheduleElement::readRule(const XmlList &entry)
{
    QString text;
    XmlList list;
    if (entry.get(text, QStringLiteral("Calendar")))
        adopt(Calendar(entry, m_ruleSet), Kind::Calendar, "Invalid Calendar for schedule element");
    else if (entry.get(list, QStringLiteral("MonthlyDays")))
        adopt(DaysOfMonth(entry), Kind::DaysOfMonth, "Invalid DaysOfMonth for schedule element");
    else if (entry.get(list, QStringLiteral("WeekDays")))
        adopt(DaysOfWeek(entry), Kind::DaysOfWeek, "Invalid DaysOfWeek for schedule element");
    else if (entry.get(list, QStringLiteral("ManualTrigger")))
        adopt(ManualTrigger(entry), Kind::ManualTrigger,
              "Invalid ManualTrigger for schedule element");
    else
        TraceLine(2, "scheduleelement", __LINE__)
            << "Schedule element contains no known date/time data";
}

template<typename Rule>
void ScheduleElement::adopt(const Rule &rule, Kind kind, const char *refusal)
{
    if (!rule.isValid()) {
        TraceLine(2, "scheduleelement", __LINE__) << refusal;
        return;
    }
    m_kind = kind;
    m_rule = rule;
}

// Forwards a time question to the rule; a manual trigger or no rule answers `none`.
template<typename Result, typename Ask>
Result ScheduleElement::askTimeRule(const Ask &ask, const Result &none) const
{
    switch (m_kind) {
    case Kind::DaysOfWeek:
        return ask(boost::any_cast<const DaysOfWeek &>(m_rule));
    case Kind::DaysOfMonth:
        return ask(boost::any_cast<const DaysOfMonth &>(m_rule));
    case Kind::Calendar:
        return ask(boost::any_cast<const Calendar &>(m_rule));
    case Kind::RepeatPeriod:
        return ask(boost::any_cast<const RepeatPeriod &>(m_rule));
    case Kind::ManualTrigger:
    case Kind::None:
        break;
    }
    return none;
}

QDateTime ScheduleElement::nextRunTime(const QDateTime &from, bool includeOpenWindow) const
{
    if (!isValid()) {
        TraceLine(2, "scheduleelement", __LINE__) << "Cannot get next run time for invalid element";
        return QDateTime();
    }
    if (!from.isValid()) {
        TraceLine(2, "scheduleelement", __LINE__) << "Cannot get next run time for invalid time";
        return QDateTime();
    }
    return askTimeRule([&](const auto &rule) { return rule.nextRunTime(from, includeOpenWindow); },
                       QDateTime());
}

bool ScheduleElement::contains(const QDateTime &t) const
{
    return askTimeRule([&](const auto &rule) { return rule.contains(t); }, false);
}

QDateTime ScheduleElement::moveOutside(const QDateTime &t, SearchBudget *budget) const
{
    return askTimeRule([&](const auto &rule) { return rule.moveOutside(t, budget); }, QDateTime());
}

QString ScheduleElement::activationName() const
{
    if (m_kind != Kind::ManualTrigger)
        return QString();
    return boost::any_cast<const ManualTrigger &>(m_rule).activationName();
}

bool ScheduleElement::matches(const QString &name) const
{
    return m_kind == Kind::ManualTrigger &&
           boost::any_cast<const ManualTrigger &>(m_rule).matches(name);
}
