#pragma once

#include "xmllist.h"

#include <QString>

namespace Orvel {

// Where a message goes: a process and its group, or a well-known address of
// the framework itself (2: the hub router).
class MsgAddress
{
public:
    enum WellKnown
    {
        None = 0,
        HubRouter = 2,
        // Where timer expiries come from.
        TimerService = 3
    };

    MsgAddress() = default;
    MsgAddress(const QString &process, const QString &group);
    explicit MsgAddress(int wellKnown);

    QString process() const { return m_processName; }
    QString group() const { return m_groupName; }
    int wellKnown() const { return m_known; }
    bool isHubRouter() const { return m_known == HubRouter; }
    // A process address with both parts, or a well-known address.
    bool isValid() const;

    // The D-Bus name "org.orvel.<group>.<process>", each element escaped so
    // that any text gives a legal name; empty for a well-known address.
    QString busName() const;

    // A nested list: "Process" and "Group" texts, or "WellKnown" unsigned.
    XmlList toXml() const;
    // The reverse of toXml(); an invalid address when the list holds neither form.
    static MsgAddress fromXml(const XmlList &list);

    bool operator==(const MsgAddress &other) const;
    bool operator!=(const MsgAddress &other) const { return !(*this == other); }

private:
    QString m_processName;
    QString m_groupName;
    int m_known = None;
};

} // namespace Orvel
