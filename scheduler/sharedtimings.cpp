#include "sharedtimings.h"

SharedTimings::SharedTimings(quint32 ruleSet)
    : m_ruleSet(ruleSet)
{}

Schedule SharedTimings::fromFile(const QString &fileName, quint32 unit, quint32 count,
                                 const RulesPlace &naming)
{
    return timing(Key{true, fileName, unit, count}, naming);
}

Schedule SharedTimings::objectiveOnly(quint32 unit, quint32 count)
{
    return timing(Key{false, QString(), unit, count});
}

Schedule SharedTimings::timing(const Key &key, const RulesPlace &naming)
{
    if (naming.reports())
        return build(key, naming);
    const auto found = m_built.constFind(key);
    if (found != m_built.cend()) {
        Orvel::Trace::replay(found->traces);
        return found->timing;
    }
    const Orvel::TraceRecording recording;
    const Schedule built = build(key, naming);
    m_built.insert(key, Built{built, recording.lines()});
    return built;
}

Schedule SharedTimings::build(const Key &key, const RulesPlace &naming)
{
    Schedule built;
    if (key.unit != 0)
        built = timing(Key{key.hasFile, key.fileName, 0, 0}, naming);
    else if (key.hasFile)
        built = Schedule(QString(), key.fileName, m_ruleSet, nullptr, true, naming);
    else
        built = Schedule(QString(), m_ruleSet, nullptr, true);
    if (key.unit != 0)
        built.addRepeatPeriod(key.unit, key.count, m_ruleSet);
    return built;
}
