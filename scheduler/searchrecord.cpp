#include "searchrecord.h"

#include "schedule.h"

#include <algorithm>

void SearchRecord::retrace(Schedule &schedule)
{
    clear();
    schedule.setSearchRecord(this);
    schedule.updateNextOccurrence();
    schedule.setSearchRecord(nullptr);
}

QList<int> SearchRecord::excludedBy() const
{
    const auto isAnswer = [](const Entry &e) { return e.step == Step::Answer; };
    const auto answer = std::find_if(m_entries.crbegin(), m_entries.crend(), isAnswer);
    if (answer == m_entries.crend() || answer->element < 0)
        return {};
    const auto offered = std::find_if(answer, m_entries.crend(), [&](const Entry &e) {
        return e.step == Step::TriggerTime && e.element == answer->element;
    });
    QList<int> exclusions;
    for (auto e = offered.base(); e != m_entries.cend() && e->step == Step::Excluded; ++e) {
        if (!exclusions.contains(e->element))
            exclusions.append(e->element);
    }
    return exclusions;
}
