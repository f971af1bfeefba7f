#pragma once

#include <QString>

namespace Orvel {
class XmlList;
}

// A trigger that never runs by itself: a user fires its schedule on request,
// under its activation name. Read from "ManualTrigger" / "ActivationName".
class ManualTrigger
{
public:
    explicit ManualTrigger(const Orvel::XmlList &body);

    bool isValid() const { return valid; }
    QString activationName() const { return name; }
    // Whether `requested` names this trigger, ignoring case.
    bool matches(const QString &requested) const;

private:
    QString name;
    bool valid = false;
};
