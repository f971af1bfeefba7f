#pragma once

#include <QSet>
#include <QStringList>

namespace Orvel {
class Config;
class XmlList;
} // namespace Orvel

// The policies this node implements, as the dispatcher rules name them: in
// the "Policies" of each replication or snapshot stream and of each remote
// node under the stream's "RemotePolicies". Each name counts once, in the
// order first met.
class LocalPolicies
{
public:
    // The names, or none when the rules cannot be read or are empty (traced).
    static QStringList fromDispatcherRules(const Orvel::Config &rules);

private:
    void addStream(const Orvel::XmlList &stream);
    void addRemoteNodes(const Orvel::XmlList &stream);
    void addNames(const Orvel::XmlList &policies);

    QStringList names;
    // The same names, for a membership test that stays cheap with thousands.
    QSet<QString> seen;
};
