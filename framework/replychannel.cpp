#include "replychannel.h"

namespace Orvel {

bool ReplyChannel::reply(const QString &name, const XmlList &body)
{
    if (m_answered)
        return false;
    m_answered = true;
    sendReply(name, body);
    return true;
}

void ReplyChannel::refuse()
{
    if (m_answered)
        return;
    m_answered = true;
    sendNotHandled();
}

} // namespace Orvel
