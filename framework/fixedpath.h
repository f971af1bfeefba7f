#pragma once

#include <QString>

namespace Orvel {

// Where the node's files live, under ORVEL_HOME (default /var/lib/orvel).
class FixedPath
{
public:
    static QString home();
    // The folder of rule set `ruleSet`, without a trailing separator.
    static QString rules(quint32 ruleSet);
    // The folder of the process's own stores.
    static QString local();
};

} // namespace Orvel
