#include "msg.h"

#include "replychannel.h"
#include "transport.h"

#include <limits>

namespace Orvel {

namespace {

Msg noTransport()
{
    return Msg::failed(eMsgResultIpcError, QStringLiteral("no transport: not inside Context::run"));
}

} // namespace

Msg::Msg(const MsgAddress &address, const QString &name, const XmlList &body, int)
    : to(address)
    , msgName(name)
    , payload(body)
    , error(eMsgResultOk)
    , valid(true)
{}

Msg Msg::received(const QString &name, const XmlList &body,
                  const std::shared_ptr<ReplyChannel> &channel, const MsgAddress &from)
{
    Msg msg(from, name, body, 0);
    msg.channel = channel;
    return msg;
}

Msg Msg::failed(MsgResult why, const QString &detail)
{
    Msg msg;
    msg.error = why;
    msg.errorDetail = detail;
    return msg;
}

bool Msg::send(bool waitForReply)
{
    if (waitForReply)
        return bool(request(-1));
    Transport *transport = Transport::current();
    return transport && transport->post(to, msgName, payload);
}

Msg Msg::request(int timeoutMs) const
{
    Transport *transport = Transport::current();
    return transport ? transport->request(to, msgName, payload, timeoutMs) : noTransport();
}

Msg Msg::wait(const QString &name, int timeoutMs)
{
    Transport *transport = Transport::current();
    return transport ? transport->waitFor(name, timeoutMs) : noTransport();
}

Msg Msg::wait(const MsgCondition &condition, int timeoutMs)
{
    Transport *transport = Transport::current();
    return transport ? transport->waitFor(condition, timeoutMs) : noTransport();
}

bool Msg::reply(const QString &name, const XmlList &body, int, bool) const
{
    return channel && channel->reply(name, body);
}

bool Msg::get(const QString &key, bool defaultValue) const
{
    bool value = defaultValue;
    payload.get(value, key);
    return value;
}

quint32 Msg::get(const QString &key, quint32 defaultValue) const
{
    quint32 value = defaultValue;
    payload.get(value, key);
    return value;
}

qint32 Msg::get(const QString &key, int defaultValue) const
{
    qint32 value = defaultValue;
    if (payload.get(value, key))
        return value;
    quint32 unsignedValue = 0;
    if (payload.get(unsignedValue, key) &&
        unsignedValue <= quint32(std::numeric_limits<qint32>::max()))
        return qint32(unsignedValue);
    return defaultValue;
}

QString Msg::getString(bool *ok, const QString &key) const
{
    QString value;
    const bool found = payload.get(value, key);
    if (ok)
        *ok = found;
    return value;
}

} // namespace Orvel
