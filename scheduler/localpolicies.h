#pragma once

#include <QSet>
#include <QStringList>

namespace Orvel {
class Config;
class XmlList;
} // namespace Orvel
class RulesPlace;
class RulesReport;

// The policies this node implements, as the dispatcher rules name them: in
// the "Policies" of each replication or snapshot stream and of each remote
// node under the stream's "RemotePolicies". Each name counts once, in the
// order first met.
class LocalPolicies
{
public:
    // The names, or none when the rules cannot be read or are empty (traced,
    // and added to `report` when given).
    static QStringList fromDispatcherRules(const Orvel::Config &rules,
                                           RulesReport *report = nullptr);

private:
    void addStream(const Orvel::XmlList &stream, const RulesPlace &place);
    void addRemoteNodes(const Orvel::XmlList &stream, const RulesPlace &place);
    void addNames(const Orvel::XmlList &policies, const RulesPlace &place);

    QStringList m_names;
    // The same names, for a membership test that stays cheap with thousands.
    QSet<QString> m_seen;
};
