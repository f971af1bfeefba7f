#pragma once

#include "rulesplace.h"
#include "xmllist.h"

#include <QString>

// A trigger that never runs by itself: a user fires its schedule on request,
// under its activation name. Read from "ManualTrigger" / "ActivationName".
class ManualTrigger
{
public:
    // Deliberate choice: an activation name that was read is still refused
    // when it is empty or longer than this. Activation names are the keys of
    // the answer to a request for the list of manual triggers: an empty one
    // could never be requested, and one longer than a key may be could never
    // be listed.
    static constexpr int kMaxNameLength = Orvel::XmlList::kMaxKeyLength;

    // `place` names the element in trace lines about entries of the wrong shape.
    explicit ManualTrigger(const Orvel::XmlList &body, const RulesPlace &place = RulesPlace());

    bool isValid() const { return m_valid; }
    QString activationName() const { return m_name; }
    // Whether `requested` names this trigger, ignoring case.
    bool matches(const QString &requested) const;

private:
    QString m_name;
    bool m_valid = false;
};
