#include "replychannel.h"

namespace Orvel {

bool ReplyChannel::reply(const QString &name, const XmlList &body)
{
    if (answered)
        return false;
    answered = true;
    sendReply(name, body);
    return true;
}

void ReplyChannel::refuse()
{
    if (answered)
        return;
    answered = true;
    sendNotHandled();
}

} // namespace Orvel
