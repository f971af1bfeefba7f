#include "firingpreview.h"

#include "clock.h"
#include "rulesetloader.h"

#include <algorithm>

FiringPreview::FiringPreview(quint32 ruleSet, const QDateTime &from)
{
    Orvel::Clock::setNow(from);
    m_list = RuleSetLoader::load(ruleSet, nullptr);
}

bool FiringPreview::keepOnly(const QString &name)
{
    m_list.erase(std::remove_if(m_list.begin(), m_list.end(),
                                [&name](const Schedule &s) { return s.name() != name; }),
                 m_list.end());
    return !m_list.isEmpty();
}

FiringPreview::PlannedFiring FiringPreview::fireNext()
{
    const auto first = std::min_element(m_list.begin(), m_list.end());
    if (first == m_list.end() || !first->nextOccurrence().isValid())
        return PlannedFiring();
    const PlannedFiring firing{first->name(), first->nextOccurrence(), first->triggerIndex(),
                               first->fallbackIndex(), int(first - m_list.begin())};
    Orvel::Clock::setNow(firing.at);
    first->markOccurred(firing.at);
    return firing;
}
