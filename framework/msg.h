#pragma once

#include "msgaddress.h"
#include "msgresult.h"
#include "xmllist.h"

#include <QString>

#include <memory>

namespace Orvel {

class MsgCondition;
class ReplyChannel;

// A message: a name, an XmlList body and, for an outgoing message, the
// address it goes to. A message received as a request can be answered once
// with reply(). An invalid message (the answer of a failed wait or request)
// converts to false and tells why in lastError().
//
// Waits with a timeout of -1: a wait for a message by name gives up after
// ORVEL_READY_TIMEOUT_S seconds (default 120); a wait on a condition lasts
// until the condition is done.
class Msg
{
public:
    Msg() = default;
    // `compression` is accepted for callers; bodies are never compressed.
    Msg(const MsgAddress &to, const QString &name, const XmlList &body, int compression);

    // false: post, no reply awaited. true: send as a request and wait for
    // its reply (bounded like a wait by name). Answers whether it went out
    // (and, for a request, whether a reply came).
    bool send(bool waitForReply);
    // Sends as a request and answers the reply, or an invalid message whose
    // lastError() says why (eMsgResultNotHandled, eMsgResultTimeout, ...).
    Msg request(int timeoutMs) const;

    // The next message called `name`, taken out of the queue; messages of
    // other names stay queued for later delivery.
    static Msg wait(const QString &name, int timeoutMs);
    // Delivers queued messages to their handlers, one at a time, until
    // `condition` is done. Answers an invalid message: lastError() is
    // eMsgResultOk when the condition was met, eMsgResultTimeout otherwise.
    static Msg wait(const MsgCondition &condition, int timeoutMs);

    // Answers a received request; false for a post or a second reply.
    bool reply(const QString &name, const XmlList &body, int compression, bool waitForReply) const;

    template<typename T> void set(const QString &key, const T &value, int setType)
    {
        m_payload.set(key, value, setType);
    }
    bool get(const QString &key, bool defaultValue) const;
    quint32 get(const QString &key, quint32 defaultValue) const;
    // A signed read also accepts an unsigned entry that fits, so that
    // get("RulesId", 0) reads a rule set number.
    qint32 get(const QString &key, int defaultValue) const;
    QString getString(bool *ok, const QString &key) const;

    QString name() const { return m_msgName; }
    const XmlList &body() const { return m_payload; }
    // Where an outgoing message goes; for a received one, where it came from
    // when the framework knows (the hub router, the timer service).
    MsgAddress address() const { return m_to; }
    bool isRequest() const { return m_channel != nullptr; }

    MsgResult lastError() const { return m_error; }
    QString errorText() const { return m_errorDetail; }
    explicit operator bool() const { return m_valid; }

    // For the transports: a received message, and the invalid answer of a
    // failed operation.
    static Msg received(const QString &name, const XmlList &body,
                        const std::shared_ptr<ReplyChannel> &channel,
                        const MsgAddress &from = MsgAddress());
    static Msg failed(MsgResult why, const QString &detail = QString());

private:
    friend class Dispatcher;

    MsgAddress m_to;
    QString m_msgName;
    XmlList m_payload;
    std::shared_ptr<ReplyChannel> m_channel;
    MsgResult m_error = eMsgResultUnknown;
    QString m_errorDetail;
    bool m_valid = false;
};

} // namespace Orvel
