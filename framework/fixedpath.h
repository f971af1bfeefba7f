#pragma once

#include <QList>
#include <QString>

namespace Orvel {

// Where the node's files live, under ORVEL_HOME (default /var/lib/orvel).
class FixedPath
{
public:
    static QString home();
    // The folder of rule set `ruleSet`, without a trailing separator.
    static QString rules(quint32 ruleSet);
    // The rule sets present: every folder under $ORVEL_HOME/rules named by a
    // number other than 0, in ascending order.
    static QList<quint32> ruleSets();
    // The path of a file that rules name (a schedule or calendar file), which
    // must stay inside the folder of rule set `ruleSet`: subfolders are fine,
    // an empty or absolute name, a `..` component or a NUL character is
    // refused with a trace line. Answers false and leaves `path` untouched
    // when refused; `why`, when given, then says why ("is absolute").
    static bool ruleFile(quint32 ruleSet, const QString &name, QString &path,
                         QString *why = nullptr);
    // The folder of the process's own stores.
    static QString local();
};

} // namespace Orvel
