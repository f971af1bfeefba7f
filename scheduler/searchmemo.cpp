#include "searchmemo.h"

namespace {
SearchMemo *innermost = nullptr;
} // namespace

bool SearchMemo::Key::operator==(const Key &other) const
{
    return triggers.constData() == other.triggers.constData() &&
           exclusions.constData() == other.exclusions.constData() &&
           fallbacks.constData() == other.fallbacks.constData() && trigger == other.trigger &&
           checked == other.checked && inclusive == other.inclusive &&
           from.timeSpec() == other.from.timeSpec() && from == other.from;
}

// A local start is hashed by its wall time: converting it to an instant goes
// through the zone's rules and cost more than the rest of a lookup. Equal
// local times show the same wall time.
size_t qHash(const SearchMemo::Key &key, size_t seed)
{
    const QDateTime &from = key.from;
    const qint64 when = from.timeSpec() == Qt::LocalTime ? from.date().toJulianDay() * 86400000 +
                                                               from.time().msecsSinceStartOfDay()
                                                         : from.toMSecsSinceEpoch();
    return qHashMulti(seed, key.triggers.constData(), key.exclusions.constData(),
                      key.fallbacks.constData(), key.trigger, key.checked, key.inclusive, when);
}

SearchMemo::SearchMemo()
    : m_outer(innermost)
{
    innermost = this;
}

SearchMemo::~SearchMemo()
{
    innermost = m_outer;
}

SearchMemo *SearchMemo::current()
{
    return innermost;
}

const SearchMemo::Outcome *SearchMemo::find(const Key &key) const
{
    const auto found = m_outcomes.constFind(key);
    if (found == m_outcomes.cend())
        return nullptr;
    Orvel::Trace::replay(found->traces);
    return &found->outcome;
}
