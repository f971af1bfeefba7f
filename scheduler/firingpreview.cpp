#include "firingpreview.h"

#include "clock.h"
#include "rulesetloader.h"

#include <algorithm>

FiringPreview::FiringPreview(quint32 ruleSet, const QDateTime &from)
{
    Orvel::Clock::setNow(from);
    list = RuleSetLoader::load(ruleSet, nullptr);
}

bool FiringPreview::keepOnly(const QString &name)
{
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&name](const Schedule &s) { return s.name() != name; }),
               list.end());
    return !list.isEmpty();
}

FiringPreview::Firing FiringPreview::fireNext()
{
    const auto first = std::min_element(list.begin(), list.end());
    if (first == list.end() || !first->nextOccurrence().isValid())
        return Firing();
    const Firing firing{first->name(), first->nextOccurrence(), first->triggerIndex(),
                        first->fallbackIndex(), int(first - list.begin())};
    Orvel::Clock::setNow(firing.at);
    first->markOccurred(firing.at);
    return firing;
}
