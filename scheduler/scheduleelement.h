#pragma once

#include "rulesplace.h"
#include "xmllist.h"

#include <QDateTime>
#include <QString>

#include <boost/any.hpp>

class SearchBudget;

// One trigger, exclusion or fallback of a schedule: a role, exactly one time
// rule held by value, and the data that travels with the event it fires.
// The schedule never looks inside the rule; the element forwards each
// question to the rule its kind names.
class ScheduleElement
{
public:
    enum class Role
    {
        None = 0,
        Exclusion = 1,
        Trigger = 2,
        Fallback = 3
    };
    enum class Kind
    {
        None = 0,
        DaysOfWeek = 1,
        DaysOfMonth = 2,
        Calendar = 3,
        RepeatPeriod = 4,
        ManualTrigger = 5
    };

    ScheduleElement() = default;
    // Reads one "ScheduleElement" entry of a schedule file; `place` names it in
    // trace lines about entries of the wrong shape.
    ScheduleElement(const Orvel::XmlList &entry, unsigned ruleSet,
                    const RulesPlace &place = RulesPlace());
    // A trigger repeating every `count` units (a RepeatPeriod unit code).
    ScheduleElement(unsigned unit, unsigned count, unsigned ruleSet);

    bool isValid() const { return m_role != Role::None && m_kind != Kind::None; }
    Role role() const { return m_role; }
    Kind kind() const { return m_kind; }
    Orvel::XmlList data() const { return m_data; }
    // The time rule when it is a `Rule` (DaysOfWeek, Calendar, ...); null otherwise.
    template<typename Rule> const Rule *rule() const { return boost::any_cast<Rule>(&m_rule); }
    // Written when a manual trigger fires on request.
    void setData(const Orvel::XmlList &data) { m_data = data; }

    [[nodiscard]] QDateTime nextRunTime(const QDateTime &from, bool includeOpenWindow) const;
    bool contains(const QDateTime &t) const;
    // Each window hopped takes a step of `budget`, when given.
    [[nodiscard]] QDateTime moveOutside(const QDateTime &t, SearchBudget *budget = nullptr) const;
    QString activationName() const;
    bool matches(const QString &name) const;

private:
    void readRole(const Orvel::XmlList &entry, const RulesPlace &place);
    void readRule(const Orvel::XmlList &entry, const RulesPlace &place);
    template<typename Rule> void adopt(const Rule &rule, Kind kind, const char *refusal);
    template<typename Result, typename Ask>
    Result askTimeRule(const Ask &ask, const Result &none) const;

    unsigned m_ruleSet = 0;
    Role m_role = Role::None;
    Kind m_kind = Kind::None;
    boost::any m_rule;
    Orvel::XmlList m_data;
};
