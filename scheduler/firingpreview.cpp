#include "firingpreview.h"

#include "clock.h"
#include "rulesetloader.h"

#include <algorithm>

FiringPreview::FiringPreview(quint32 ruleSet, const QDateTime &from)
{
    Orvel::Clock::setNow(from);
    m_list = RuleSetLoader::load(ruleSet, nullptr);
    // Loading searched unrecorded; the clock still stands at `from`.
    for (Schedule &schedule : m_list) {
        m_record.retrace(schedule);
        m_excludedBy.append(m_record.excludedBy());
    }
}

bool FiringPreview::keepOnly(const QString &name)
{
    QList<Schedule> kept;
    QList<QList<int>> excludedBy;
    for (qsizetype i = 0; i < m_list.size(); ++i) {
        if (m_list.at(i).name() == name) {
            kept.append(m_list.at(i));
            excludedBy.append(m_excludedBy.at(i));
        }
    }
    m_list = kept;
    m_excludedBy = excludedBy;
    return !m_list.isEmpty();
}

FiringPreview::PlannedFiring FiringPreview::fireNext()
{
    const auto first = std::min_element(m_list.begin(), m_list.end());
    if (first == m_list.end() || !first->nextOccurrence().isValid())
        return PlannedFiring();
    const int position = int(first - m_list.begin());
    const PlannedFiring firing{
        first->name(), first->nextOccurrence(),  first->triggerIndex(), first->fallbackIndex(),
        position,      m_excludedBy.at(position)};
    Orvel::Clock::setNow(firing.at);
    m_record.clear();
    first->setSearchRecord(&m_record);
    first->markOccurred(firing.at);
    first->setSearchRecord(nullptr);
    m_excludedBy[position] = m_record.excludedBy();
    return firing;
}
