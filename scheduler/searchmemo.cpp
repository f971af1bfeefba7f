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

size_t qHash(const SearchMemo::Key &key, size_t seed)
{
    return qHashMulti(seed, key.triggers.constData(), key.exclusions.constData(),
                      key.fallbacks.constData(), key.trigger, key.checked, key.inclusive,
                      key.from.toMSecsSinceEpoch());
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
