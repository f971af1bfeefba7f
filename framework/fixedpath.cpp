#include "fixedpath.h"

#include "trace.h"

#include <QDir>
#include <QStringList>

#include <algorithm>

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

QList<quint32> FixedPath::ruleSets()
{
    QList<quint32> found;
    const QDir folder(home() + QStringLiteral("/rules"));
    for (const QString &name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const quint32 number = name.toUInt(&ok, 10);
        if (ok && number != 0 && name == QString::number(number))
            found.append(number);
    }
    std::sort(found.begin(), found.end());
    return found;
}

namespace {

// Why a name from the rules may not be used inside the rules folder, or an
// empty text. A NUL would end the name early at the system call, hiding what
// follows it from the check.
QString outsideReason(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("is empty");
    if (name.contains(QChar(0)))
        return QStringLiteral("contains a NUL character");
    if (name.startsWith(QLatin1Char('/')))
        return QStringLiteral("is absolute");
    if (name.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return QStringLiteral("has a .. component");
    return QString();
}

} // namespace

bool FixedPath::ruleFile(quint32 ruleSet, const QString &name, QString &path, QString *why)
{
    const QString reason = outsideReason(name);
    if (!reason.isEmpty()) {
        TraceLine(2, "fixedpath", __LINE__) << "Refused rules file name" << name << "of rule set"
                                            << ruleSet << "because it" << reason;
        if (why)
            *why = reason;
        return false;
    }
    path = rules(ruleSet) + QLatin1Char('/') + name;
    return true;
}

QString FixedPath::local()
{
    return home() + QStringLiteral("/local");
}

} // namespace Orvel
