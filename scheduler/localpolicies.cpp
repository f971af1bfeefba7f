#include "localpolicies.h"

#include "config.h"
#include "msgnames.h"
#include "trace.h"

using namespace Orvel;

namespace {

QString key(const char *name)
{
    return QLatin1String(name);
}

bool isStream(const XmlListIterator &it)
{
    return it.type() == XmlListIterator::List &&
           (it.name() == key(Names::ReplicationStream) || it.name() == key(Names::SnapshotStream));
}

} // namespace

QStringList LocalPolicies::fromDispatcherRules(const Config &rules)
{
    if (!rules) {
        TraceLine(2, "localpolicies", __LINE__) << "Failed to open the dispatcher rules";
        return QStringList();
    }
    if (rules.isEmpty()) {
        TraceLine(2, "localpolicies", __LINE__) << "No dispatcher rules";
        return QStringList();
    }
    LocalPolicies local;
    for (XmlListIterator it = rules.first(); !it.isNull(); it.next()) {
        XmlList stream;
        if (isStream(it) && rules.get(stream, it))
            local.addStream(stream);
    }
    TraceLine(3, "localpolicies", __LINE__)
        << "dispatcherrules.cfg contains streams containing" << local.names.size() << "policies";
    return local.names;
}

void LocalPolicies::addStream(const XmlList &stream)
{
    XmlList policies;
    if (stream.get(policies, key(Names::Policies)))
        addNames(policies);
    TraceLine(4, "localpolicies", __LINE__) << "Reading remote file system info...";
    addRemoteNodes(stream);
}

void LocalPolicies::addRemoteNodes(const XmlList &stream)
{
    XmlList nodes;
    if (!stream.get(nodes, key(Names::RemotePolicies))) {
        TraceLine(4, "localpolicies", __LINE__) << "No remote file system info found";
        return;
    }
    TraceLine(4, "localpolicies", __LINE__) << "Reading" << nodes.size() << "nodes...";
    for (XmlListIterator it = nodes.first(); !it.isNull(); it.next()) {
        XmlList node;
        XmlList policies;
        if (nodes.get(node, it) && node.get(policies, key(Names::Policies)))
            addNames(policies);
        else
            TraceLine(0, "localpolicies", __LINE__) << "Failed to find policies for remote node!";
    }
}

void LocalPolicies::addNames(const XmlList &policies)
{
    for (XmlListIterator it = policies.first(); !it.isNull(); it.next()) {
        QString name;
        if (it.name() != key(Names::Policy) || !policies.get(name, it) || name.isEmpty() ||
            seen.contains(name))
            continue;
        TraceLine(3, "localpolicies", __LINE__) << "Node implements" << name;
        names.append(name);
        seen.insert(name);
    }
}
