#include "dbustransport.h"

#include "context.h"
#include "log.h"
#include "replychannel.h"
#include "trace.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QTimer>

#include <climits>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace Orvel {

namespace {

const QString kPath = QStringLiteral("/org/orvel/Msg");
const QString kInterface = QStringLiteral("org.orvel.Msg1");
const QString kNotHandled = QStringLiteral("org.orvel.Error.NotHandled");
const QString kPrivateConnection = QStringLiteral("orvel");
// What Qt raises when the connection breaks: the bus daemon died or closed it.
const QString kLocalPath = QStringLiteral("/org/freedesktop/DBus/Local");
const QString kLocalInterface = QStringLiteral("org.freedesktop.DBus.Local");
const QString kDisconnected = QStringLiteral("Disconnected");

QDBusConnection connectToBus()
{
    QByteArray bus = qgetenv("ORVEL_BUS");
    if (bus.isEmpty())
        bus = qEnvironmentVariableIsSet("INVOCATION_ID") ? "system" : "session";
    if (bus == "session")
        return QDBusConnection::sessionBus();
    if (bus == "system")
        return QDBusConnection::systemBus();
    return QDBusConnection::connectToBus(QString::fromUtf8(bus), kPrivateConnection);
}

// An empty body is an empty list; anything else must be the XmlList text form.
bool parseBody(const QString &text, const QString &name, XmlList &body)
{
    if (text.trimmed().isEmpty())
        return true;
    body = XmlList::fromText(text.toUtf8(), QStringLiteral("message ") + name);
    return bool(body);
}

QDBusMessage makeCall(const MsgAddress &to, const QString &method, const QString &name,
                      const XmlList &body)
{
    QDBusMessage call = QDBusMessage::createMethodCall(to.busName(), kPath, kInterface, method);
    call << name << QString::fromUtf8(body.toBinary());
    call.setAutoStartService(false);
    return call;
}

MsgResult resultOf(const QDBusMessage &error)
{
    const QString name = error.errorName();
    if (name == kNotHandled)
        return eMsgResultNotHandled;
    if (name == QDBusError::errorString(QDBusError::InvalidArgs))
        return eMsgResultInvalidArgs;
    if (name == QDBusError::errorString(QDBusError::NoReply) ||
        name == QDBusError::errorString(QDBusError::Timeout) ||
        name == QDBusError::errorString(QDBusError::TimedOut))
        return eMsgResultTimeout;
    return eMsgResultIpcError;
}

class DBusReplyChannel : public ReplyChannel
{
public:
    DBusReplyChannel(const QDBusMessage &call, const QDBusConnection &connection)
        : m_call(call)
        , m_connection(connection)
    {}

protected:
    void sendReply(const QString &name, const XmlList &body) override
    {
        m_connection.send(
            m_call.createReply(QVariantList{name, QString::fromUtf8(body.toBinary())}));
    }
    void sendNotHandled() override
    {
        m_connection.send(
            m_call.createErrorReply(kNotHandled, QStringLiteral("no handler answered ") +
                                                     m_call.arguments().value(0).toString()));
    }

private:
    QDBusMessage m_call;
    QDBusConnection m_connection;
};

// The object every process serves: it turns Post and Request calls into
// received messages for the delivery queue.
class Endpoint : public QDBusVirtualObject
{
public:
    explicit Endpoint(std::function<void(const Msg &)> sink)
        : m_sink(std::move(sink))
    {}

    QString introspect(const QString &) const override
    {
        return QStringLiteral(
            "<interface name=\"org.orvel.Msg1\">"
            "<method name=\"Post\"><arg name=\"name\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"body\" type=\"s\" direction=\"in\"/>"
            "<annotation name=\"org.freedesktop.DBus.Method.NoReply\" value=\"true\"/></method>"
            "<method name=\"Request\"><arg name=\"name\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"body\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"name\" type=\"s\" direction=\"out\"/>"
            "<arg name=\"body\" type=\"s\" direction=\"out\"/></method></interface>");
    }

    bool handleMessage(const QDBusMessage &call, const QDBusConnection &connection) override
    {
        const bool isRequest = call.member() == QLatin1String("Request");
        if ((!isRequest && call.member() != QLatin1String("Post")) ||
            (!call.interface().isEmpty() && call.interface() != kInterface) ||
            call.signature() != QLatin1String("ss"))
            return false;
        const QString name = call.arguments().at(0).toString();
        XmlList body;
        if (!parseBody(call.arguments().at(1).toString(), name, body)) {
            if (call.isReplyRequired())
                connection.send(call.createErrorReply(QDBusError::InvalidArgs,
                                                      QStringLiteral("the body of ") + name +
                                                          " is not well-formed XML"));
            return true;
        }
        std::shared_ptr<ReplyChannel> channel;
        if (isRequest)
            channel = std::make_shared<DBusReplyChannel>(call, connection);
        else if (call.isReplyRequired())
            connection.send(call.createReply());
        m_sink(Msg::received(name, body, channel));
        return true;
    }

private:
    std::function<void(const Msg &)> m_sink;
};

// A named timer. QTimer counts in int milliseconds (about 24 days), so longer
// waits run in steps towards their deadline.
struct NamedTimer
{
    QTimer timer;
    QDeadlineTimer due;

    void startStep() { timer.start(int(qMin<qint64>(due.remainingTime(), INT_MAX))); }
};

} // namespace

struct DBusTransport::Private
{
    explicit Private(DBusTransport *owner)
        : owner(owner)
        , connection(connectToBus())
        , endpoint([owner](const Msg &msg) { owner->enqueue(msg); })
    {}

    DBusTransport *owner;
    QDBusConnection connection;
    Endpoint endpoint;
    // Why /org/orvel/Msg is not served; empty once it is.
    QString serveError = QStringLiteral("not connected");
    // Qt tells of a broken connection through a signal, which needs a slot:
    // this timer's start() is one, and its timeout runs connectionLost().
    QTimer lost;
    std::map<QString, std::unique_ptr<NamedTimer>> timers;
    std::vector<std::unique_ptr<QDBusServiceWatcher>> watchers;
};

DBusTransport::DBusTransport()
    : m_private(std::make_unique<Private>(this))
{
    if (!m_private->connection.isConnected())
        return;
    // A process that cannot serve its object would never hear a message.
    if (!m_private->connection.registerVirtualObject(kPath, &m_private->endpoint,
                                                     QDBusConnection::SingleNode)) {
        m_private->serveError = QStringLiteral("cannot serve ") + kPath + QStringLiteral(": ") +
                                m_private->connection.lastError().message();
        return;
    }
    m_private->serveError.clear();
    m_private->lost.setSingleShot(true);
    QObject::connect(&m_private->lost, &QTimer::timeout, [this]() { connectionLost(); });
    m_private->connection.connect(QString(), kLocalPath, kLocalInterface, kDisconnected,
                                  &m_private->lost, SLOT(start()));
}

// Posts carry the no-reply flag, so nothing tells when they have left; one
// call to the bus itself flushes them before the connection goes.
DBusTransport::~DBusTransport()
{
    if (!m_private->connection.isConnected() || !m_private->serveError.isEmpty())
        return;
    m_private->connection.unregisterObject(kPath);
    m_private->connection.call(
        QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")),
        QDBus::Block, 1000);
    m_private->watchers.clear();
    m_private.reset();
    QDBusConnection::disconnectFromBus(kPrivateConnection);
}

bool DBusTransport::isConnected() const
{
    return m_private->connection.isConnected() && m_private->serveError.isEmpty();
}

QString DBusTransport::connectionError() const
{
    return m_private->connection.isConnected() ? m_private->serveError
                                               : m_private->connection.lastError().message();
}

// Deliberate choice: with its connection gone a process hears nothing and
// its posts vanish, so it leaves with Context::BusLost instead of running
// on deaf; the service manager sees the failure and starts it again.
void DBusTransport::connectionLost()
{
    TraceLine(0, "dbustransport", __LINE__) << "Lost the connection to the message bus - exiting";
    if (Log *log = Context::logging()) {
        log->initialiseMessage(Log::kFaultCategory, 4, {});
        *log << "%1s lost its connection to the message bus and exits" << Context::processName();
        log->sendMessage();
    }
    markShutDown(Context::BusLost);
}

bool DBusTransport::send(const MsgAddress &to, const QString &name, const XmlList &body)
{
    return m_private->connection.send(makeCall(to, QStringLiteral("Post"), name, body));
}

Msg DBusTransport::request(const MsgAddress &to, const QString &name, const XmlList &body,
                           int timeoutMs)
{
    if (to.busName().isEmpty())
        return Msg::failed(eMsgResultInvalidArgs, QStringLiteral("no process address"));
    const QDBusMessage answer =
        m_private->connection.call(makeCall(to, QStringLiteral("Request"), name, body),
                                   QDBus::Block, timeoutMs < 0 ? readyTimeoutMs() : timeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.signature() != QLatin1String("ss"))
        return Msg::failed(resultOf(answer), answer.errorName() + ": " + answer.errorMessage());
    const QString replyName = answer.arguments().at(0).toString();
    XmlList replyBody;
    if (!parseBody(answer.arguments().at(1).toString(), replyName, replyBody))
        return Msg::failed(eMsgResultInvalidArgs, QStringLiteral("reply body is not well-formed"));
    return Msg::received(replyName, replyBody, nullptr, to);
}

Dispatcher::Ownership DBusTransport::own(const QString &busName, QString &error)
{
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_private->connection.interface()->registerService(
            busName, QDBusConnectionInterface::DontQueueService,
            QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        error = reply.error().name() + QStringLiteral(": ") + reply.error().message();
        return Ownership::Refused;
    }
    return reply.value() == QDBusConnectionInterface::ServiceRegistered ? Ownership::Owned
                                                                        : Ownership::Taken;
}

void DBusTransport::disown(const QString &busName)
{
    m_private->connection.interface()->unregisterService(busName);
}

void DBusTransport::arm(const QString &name, quint32 milliseconds)
{
    std::unique_ptr<NamedTimer> &slot = m_private->timers[name];
    if (!slot) {
        slot = std::make_unique<NamedTimer>();
        slot->timer.setSingleShot(true);
        slot->timer.setTimerType(Qt::PreciseTimer);
        NamedTimer *timer = slot.get();
        QObject::connect(&slot->timer, &QTimer::timeout, [this, timer, name]() {
            if (timer->due.hasExpired())
                expired(name);
            else
                timer->startStep();
        });
    }
    slot->due = QDeadlineTimer(qint64(milliseconds), Qt::PreciseTimer);
    slot->startStep();
}

void DBusTransport::disarm(const QString &name)
{
    const auto found = m_private->timers.find(name);
    if (found != m_private->timers.end())
        found->second->timer.stop();
}

void DBusTransport::watchReady(const MsgAddress &peer)
{
    const QString busName = peer.busName();
    auto watcher = std::make_unique<QDBusServiceWatcher>(busName, m_private->connection,
                                                         QDBusServiceWatcher::WatchForRegistration);
    auto reported = std::make_shared<bool>(false);
    auto report = [this, peer, reported]() {
        if (*reported)
            return;
        *reported = true;
        peerReady(peer);
    };
    QObject::connect(watcher.get(), &QDBusServiceWatcher::serviceRegistered, report);
    m_private->watchers.push_back(std::move(watcher));
    // Watching first and asking second leaves no gap in which the peer could
    // appear unseen.
    if (m_private->connection.interface()->isServiceRegistered(busName).value())
        report();
}

bool DBusTransport::waitForActivity(const QDeadlineTimer &deadline)
{
    if (deadline.hasExpired())
        return false;
    // A wait without deadline, as a process's main loop is, needs no timer.
    std::optional<QTimer> wake;
    if (!deadline.isForever()) {
        wake.emplace();
        wake->setSingleShot(true);
        wake->setTimerType(Qt::PreciseTimer);
        wake->start(int(qMin<qint64>(deadline.remainingTime(), INT_MAX)));
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !deadline.hasExpired();
}

} // namespace Orvel
