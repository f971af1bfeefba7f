#pragma once

#include "dispatcher.h"

#include <memory>

namespace Orvel {

// Messages over D-Bus, on the bus ORVEL_BUS names ("session", "system" or an
// address; default: system under systemd, else session). Every process
// serves the object /org/orvel/Msg with the interface org.orvel.Msg1:
//   Post(s name, s body)                      sent with the no-reply flag
//   Request(s name, s body) -> (s name, s body)
// Bodies are the XmlList text form; one that does not parse is refused with
// org.freedesktop.DBus.Error.InvalidArgs, and a request no handler answers
// with org.orvel.Error.NotHandled. While alive it is the current transport
// and turns SIGTERM and SIGINT into the hub's shutdown, and a broken
// connection into a shutdown with Context::BusLost.
class DBusTransport : public Dispatcher
{
public:
    DBusTransport();
    ~DBusTransport() override;

    // Connected, and serving /org/orvel/Msg; connectionError() says why not.
    bool isConnected() const;
    QString connectionError() const;

    Msg request(const MsgAddress &to, const QString &name, const XmlList &body,
                int timeoutMs) override;
    Ownership own(const QString &busName, QString &error) override;
    void disown(const QString &busName) override;

protected:
    bool send(const MsgAddress &to, const QString &name, const XmlList &body) override;
    void arm(const QString &name, quint32 milliseconds) override;
    void disarm(const QString &name) override;
    void watchReady(const MsgAddress &peer) override;
    bool waitForActivity(const QDeadlineTimer &deadline) override;

private:
    // The connection broke: trace, log and shut down with Context::BusLost.
    void connectionLost();

    struct Private;
    std::unique_ptr<Private> m_private;
};

} // namespace Orvel
