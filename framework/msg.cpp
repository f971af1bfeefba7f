#include "msg.h"

#include "dispatcher.h"
#include "replychannel.h"

#include <limits>

namespace Orvel {

namespace {

Msg noTransport()
{
    return Msg::failed(eMsgResultIpcError, QStringLiteral("no transport: not inside Context::run"));
}

} // namespace

Msg::Msg(const MsgAddress &address, const QString &name, const XmlList &body, int)
    : m_to(address)
    , m_msgName(name)
    , m_payload(body)
    , m_error(eMsgResultOk)
    , m_valid(true)
{}

Msg Msg::received(const QString &name, const XmlList &body,
                  const std::shared_ptr<ReplyChannel> &channel, const MsgAddress &from)
{
    Msg msg(from, name, body, 0);
    msg.m_channel = channel;
    return msg;
}

Msg Msg::failed(MsgResult why, const QString &detail)
{
    Msg msg;
    msg.m_error = why;
    msg.m_errorDetail = detail;
    return msg;
}

bool Msg::send(bool waitForReply)
{
    if (waitForReply)
        return bool(request(-1));
    Dispatcher *transport = Dispatcher::current();
    return transport && transport->post(m_to, m_msgName, m_payload);
}

Msg Msg::request(int timeoutMs) const
{
    Dispatcher *transport = Dispatcher::current();
    return transport ? transport->request(m_to, m_msgName, m_payload, timeoutMs) : noTransport();
}

Msg Msg::wait(const QString &name, int timeoutMs)
{
    Dispatcher *transport = Dispatcher::current();
    return transport ? transport->waitFor(name, timeoutMs) : noTransport();
}

Msg Msg::wait(const MsgCondition &condition, int timeoutMs)
{
    Dispatcher *transport = Dispatcher::current();
    return transport ? transport->waitFor(condition, timeoutMs) : noTransport();
}

bool Msg::reply(const QString &name, const XmlList &body, int, bool) const
{
    return m_channel && m_channel->reply(name, body);
}

bool Msg::get(const QString &key, bool defaultValue) const
{
    bool value = defaultValue;
    m_payload.get(value, key);
    return value;
}

quint32 Msg::get(const QString &key, quint32 defaultValue) const
{
    quint32 value = defaultValue;
    m_payload.get(value, key);
    return value;
}

qint32 Msg::get(const QString &key, int defaultValue) const
{
    qint32 value = defaultValue;
    if (m_payload.get(value, key))
        return value;
    quint32 unsignedValue = 0;
    if (m_payload.get(unsignedValue, key) &&
        unsignedValue <= quint32(std::numeric_limits<qint32>::max()))
        return qint32(unsignedValue);
    return defaultValue;
}

QString Msg::getString(bool *ok, const QString &key) const
{
    QString value;
    const bool found = m_payload.get(value, key);
    if (ok)
        *ok = found;
    return value;
}

} // namespace Orvel
