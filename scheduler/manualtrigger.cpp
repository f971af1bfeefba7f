#include "manualtrigger.h"

#include "trace.h"
#include "xmllist.h"

using Orvel::TraceLine;

ManualTrigger::ManualTrigger(const Orvel::XmlList &body, const RulesPlace &place)
{
    if (body.isEmpty()) {
        TraceLine(2, "manualtrigger", __LINE__) << "Manual trigger given empty XML";
        return;
    }
    Orvel::XmlList trigger;
    if (!place.read(body, QStringLiteral("ManualTrigger"), trigger)) {
        TraceLine(2, "manualtrigger", __LINE__)
            << "Manual trigger given XML without a trigger entry";
        return;
    }
    QString read;
    const RulesPlace inTrigger = place.inside(QStringLiteral("ManualTrigger"));
    if (!inTrigger.read(trigger, QStringLiteral("ActivationName"), read)) {
        TraceLine(2, "manualtrigger", __LINE__) << "Manual trigger XML contains no activation name";
        inTrigger.report(RulesReport::Reason::NoActivationName);
        return;
    }
    if (read.isEmpty()) {
        TraceLine(2, "manualtrigger", __LINE__) << "Refused an empty activation name";
        inTrigger.report(RulesReport::Reason::ActivationNameEmpty);
        return;
    }
    if (read.size() > kMaxNameLength) {
        TraceLine(2, "manualtrigger", __LINE__) << "Refused an activation name of" << read.size()
                                                << "characters, more than" << kMaxNameLength;
        inTrigger.report(RulesReport::Reason::ActivationNameTooLong, QString::number(read.size()));
        return;
    }
    m_name = read;
    m_valid = true;
}

bool ManualTrigger::matches(const QString &requested) const
{
    return QString::compare(requested, m_name, Qt::CaseInsensitive) == 0;
}
