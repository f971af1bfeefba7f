#include "hubrouter.h"

#include "msg.h"

namespace Orvel {

Msg HubRouter::waitUntilReady(const MsgAddress &peer, int timeoutMs)
{
    Msg registration(MsgAddress(MsgAddress::HubRouter), RegisterNotifyOnReadyPost, XmlList(), 0);
    registration.set(Address, peer.toXml(), XmlList::Replace);
    registration.send(false);
    return Msg::wait(ProcessReadyPost, timeoutMs);
}

bool HubRouter::isReady(const MsgAddress &peer, int timeoutMs)
{
    const Msg answer = waitUntilReady(peer, timeoutMs);
    return answer && answer.get(Success, false);
}

} // namespace Orvel
