#pragma once

#include <QString>

namespace Orvel {

class XmlList;

// The way back to the sender of a request. A request is answered exactly
// once: by the handler's reply, or, when no handler replied, as not handled.
class ReplyChannel
{
public:
    virtual ~ReplyChannel() = default;

    bool reply(const QString &name, const XmlList &body);
    void refuse();
    bool isAnswered() const { return m_answered; }

protected:
    virtual void sendReply(const QString &name, const XmlList &body) = 0;
    virtual void sendNotHandled() = 0;

private:
    bool m_answered = false;
};

} // namespace Orvel
