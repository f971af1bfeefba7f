#include "scheduleelement.h"

#include "calendar.h"
#include "daysofmonth.h"
#include "daysofweek.h"
#include "manualtrigger.h"
#include "repeatperiod.h"
#include "trace.h"

using Orvel::TraceLine;
using Orvel::XmlList;

ScheduleElement::ScheduleElement(const XmlList &entry, unsigned ruleSet, const RulesPlace &place)
    : m_ruleSet(ruleSet)
{
    if (entry.isEmpty())
        return;
    readRole(entry, place);
    readRule(entry, place);
}

ScheduleElement::ScheduleElement(unsigned unit, unsigned count, unsigned ruleSet)
    : m_ruleSet(ruleSet)
    , m_role(Role::Trigger)
{
    adopt(RepeatPeriod(RepeatPeriod::Unit(unit), count), Kind::RepeatPeriod,
          "Invalid RepeatPeriod for schedule element");
}

void ScheduleElement::readRole(const XmlList &entry, const RulesPlace &place)
{
    QString type;
    if (!place.read(entry, QStringLiteral("Type"), type)) {
        // Passing over says why; a missing type is not traced, only reported.
        if (!entry.contains(QStringLiteral("Type")))
            place.report(RulesReport::Reason::ElementWithoutType);
        return;
    }
    if (type == QLatin1String("Exclude")) {
        m_role = Role::Exclusion;
        TraceLine(3, "scheduleelement", __LINE__) << "Reading Exclusion <ScheduleElement>";
    } else if (type == QLatin1String("Trigger")) {
        m_role = Role::Trigger;
        TraceLine(3, "scheduleelement", __LINE__) << "Reading Trigger <ScheduleElement>";
        place.read(entry, QStringLiteral("TriggerData"), m_data);
    } else if (type == QLatin1String("Fallback") || type == QLatin1String("TriggerFallback")) {
        m_role = Role::Fallback;
        TraceLine(3, "scheduleelement", __LINE__) << "Reading Fallback <ScheduleElement>";
        place.read(entry, QStringLiteral("FallbackData"), m_data);
    } else {
        TraceLine(2, "scheduleelement", __LINE__) << "Unknown schedule element type:" << type;
        place.report(RulesReport::Reason::ElementUnknownType, type);
    }
}

// The first rule entry present in its shape decides the kind; later ones are
// not looked at. One of another shape is passed over (and traced). A rule
// that is not valid reports its own reason, so the refusal here reports none.
void ScheduleElement::readRule(const XmlList &entry, const RulesPlace &place)
{
    QString text;
    XmlList list;
    if (place.read(entry, QStringLiteral("Calendar"), text)) {
        adopt(Calendar(entry, m_ruleSet, place), Kind::Calendar,
              "Invalid Calendar for schedule element");
    } else if (place.read(entry, QStringLiteral("MonthlyDays"), list)) {
        adopt(DaysOfMonth(entry, place), Kind::DaysOfMonth,
              "Invalid DaysOfMonth for schedule element");
    } else if (place.read(entry, QStringLiteral("WeekDays"), list)) {
        adopt(DaysOfWeek(entry, place), Kind::DaysOfWeek,
              "Invalid DaysOfWeek for schedule element");
    } else if (place.read(entry, QStringLiteral("ManualTrigger"), list)) {
        adopt(ManualTrigger(entry, place), Kind::ManualTrigger,
              "Invalid ManualTrigger for schedule element");
    } else {
        TraceLine(2, "scheduleelement", __LINE__)
            << "Schedule element contains no known date/time data";
        place.report(RulesReport::Reason::ElementWithoutRule);
    }
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
