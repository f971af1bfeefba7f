#include "localpolicies.h"

#include "config.h"
#include "names.h"
#include "rulesplace.h"
#include "trace.h"

#include <QHash>

using namespace Orvel;

namespace {

bool isStream(const QString &name)
{
    return name == Names::ReplicationStream || name == Names::SnapshotStream;
}

} // namespace

QStringList LocalPolicies::fromDispatcherRules(const Config &rules, RulesReport *report)
{
    const RulesPlace file(rules.filePath(), QString(), report);
    if (!rules) {
        TraceLine(2, "localpolicies", __LINE__) << "Failed to open the dispatcher rules";
        file.report(RulesReport::Reason::FileUnreadable, rules.errorText());
        return QStringList();
    }
    if (rules.isEmpty()) {
        TraceLine(2, "localpolicies", __LINE__) << "No dispatcher rules";
        file.report(RulesReport::Reason::FileEmpty);
        return QStringList();
    }
    LocalPolicies local;
    QHash<QString, int> streams; // how many of each kind so far
    for (XmlListIterator it = rules.first(); !it.isNull(); it.next()) {
        if (!isStream(it.name()))
            continue;
        const QString stream = RulesPlace::numbered(it.name(), ++streams[it.name()]);
        XmlList list;
        if (rules.get(list, it))
            local.addStream(list, file.inside(stream));
        else
            file.passedOver(stream, "list");
    }
    TraceLine(3, "localpolicies", __LINE__)
        << "dispatcherrules.cfg contains streams containing" << local.m_names.size() << "policies";
    return local.m_names;
}

void LocalPolicies::addStream(const XmlList &stream, const RulesPlace &place)
{
    XmlList policies;
    if (place.read(stream, Names::Policies, policies))
        addNames(policies, place.inside(Names::Policies));
    TraceLine(4, "localpolicies", __LINE__) << "Reading remote file system info...";
    addRemoteNodes(stream, place);
}

void LocalPolicies::addRemoteNodes(const XmlList &stream, const RulesPlace &place)
{
    XmlList nodes;
    if (!place.read(stream, Names::RemotePolicies, nodes)) {
        TraceLine(4, "localpolicies", __LINE__) << "No remote file system info found";
        return;
    }
    TraceLine(4, "localpolicies", __LINE__) << "Reading" << nodes.size() << "nodes...";
    for (XmlListIterator it = nodes.first(); !it.isNull(); it.next()) {
        XmlList node;
        XmlList policies;
        const RulesPlace remote = place.inside(Names::RemotePolicies).inside(it.name());
        if (nodes.get(node, it) && node.get(policies, Names::Policies)) {
            addNames(policies, remote.inside(Names::Policies));
        } else {
            TraceLine(0, "localpolicies", __LINE__) << "Failed to find policies for remote node!";
            remote.report(RulesReport::Reason::RemoteNodeWithoutPolicies);
        }
    }
}

void LocalPolicies::addNames(const XmlList &policies, const RulesPlace &place)
{
    int position = 0;
    for (XmlListIterator it = policies.first(); !it.isNull(); it.next()) {
        if (it.name() != Names::Policy)
            continue;
        ++position;
        QString name;
        if (!policies.get(name, it))
            place.passedOver(RulesPlace::numbered(it.name(), position), "text");
        if (name.isEmpty() || m_seen.contains(name))
            continue;
        TraceLine(3, "localpolicies", __LINE__) << "Node implements" << name;
        m_names.append(name);
        m_seen.insert(name);
    }
}
