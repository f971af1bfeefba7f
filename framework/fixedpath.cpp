#include "fixedpath.h"

namespace Orvel {

QString FixedPath::home()
{
    const QString home = qEnvironmentVariable("ORVEL_HOME");
    return home.isEmpty() ? QStringLiteral("/var/lib/orvel") : home;
}

QString FixedPath::rules(quint32 ruleSet)
{
    return home() + QStringLiteral("/rules/") + QString::number(ruleSet);
}

QString FixedPath::local()
{
    return home() + QStringLiteral("/local");
}

} // namespace Orvel
