#include "manualtrigger.h"

#include "trace.h"
#include "xmllist.h"

using Orvel::TraceLine;

ManualTrigger::ManualTrigger(const Orvel::XmlList &body)
{
    if (body.isEmpty()) {
        TraceLine(2, "manualtrigger", __LINE__) << "Manual trigger given empty XML";
        return;
    }
    Orvel::XmlList trigger;
    if (!body.get(trigger, QStringLiteral("ManualTrigger"))) {
        TraceLine(2, "manualtrigger", __LINE__)
            << "Manual trigger given XML without a trigger entry";
        return;
    }
    valid = trigger.get(name, QStringLiteral("ActivationName"));
    if (!valid)
        TraceLine(2, "manualtrigger", __LINE__) << "Manual trigger XML contains no activation name";
}

bool ManualTrigger::matches(const QString &requested) const
{
    return QString::compare(requested, name, Qt::CaseInsensitive) == 0;
}
