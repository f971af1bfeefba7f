#include "dispatcher.h"

#include "configlocal.h"
#include "hubrouter.h"
#include "replychannel.h"
#include "trace.h"

#include <QDir>
#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace Orvel {

namespace {

Dispatcher *installed = nullptr;

// What a wait by name with timeout -1 means: long enough for a peer started
// by the same service manager, short enough that nothing hangs for good.
constexpr int kDefaultReadyTimeoutSeconds = 120;

QDeadlineTimer deadlineFor(int timeoutMs, int defaultMs)
{
    const int ms = timeoutMs < 0 ? defaultMs : timeoutMs;
    return ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(ms, Qt::PreciseTimer);
}

} // namespace

Dispatcher::Dispatcher()
{
    installed = this;
}

Dispatcher::~Dispatcher()
{
    if (installed == this)
        installed = nullptr;
}

Dispatcher *Dispatcher::current()
{
    return installed;
}

int Dispatcher::readyTimeoutMs()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("ORVEL_READY_TIMEOUT_S", &ok);
    return (ok && seconds >= 0 ? seconds : kDefaultReadyTimeoutSeconds) * 1000;
}

void Dispatcher::addHandler(const QString &name, const HandlerPtr &handler)
{
    m_handlers.insert(name, handler);
}

void Dispatcher::removeHandler(const QString &name)
{
    m_handlers.remove(name);
}

bool Dispatcher::post(const MsgAddress &to, const QString &name, const XmlList &body)
{
    if (to.isHubRouter()) {
        serveHubRouter(name, body);
        return true;
    }
    if (!to.isValid())
        return false;
    return send(to, name, body);
}

void Dispatcher::serveHubRouter(const QString &name, const XmlList &body)
{
    XmlList address;
    if (name != HubRouter::RegisterNotifyOnReadyPost || !body.get(address, HubRouter::Address)) {
        TraceLine(3, "dispatcher", __LINE__) << "Hub router ignores" << name << body;
        return;
    }
    const MsgAddress peer = MsgAddress::fromXml(address);
    TraceLine(3, "dispatcher", __LINE__) << "Hub router: watching" << peer.busName();
    if (peer.busName().isEmpty()) {
        XmlList answer;
        answer.set(HubRouter::Success, false, XmlList::Replace);
        enqueue(Msg::received(HubRouter::ProcessReadyPost, answer, nullptr,
                              MsgAddress(MsgAddress::HubRouter)));
        return;
    }
    watchReady(peer);
}

void Dispatcher::peerReady(const MsgAddress &peer)
{
    XmlList answer;
    answer.set(HubRouter::Success, true, XmlList::Replace);
    answer.set(HubRouter::Address, peer.toXml(), XmlList::Replace);
    enqueue(Msg::received(HubRouter::ProcessReadyPost, answer, nullptr,
                          MsgAddress(MsgAddress::HubRouter)));
}

Msg Dispatcher::waitFor(const QString &name, int timeoutMs)
{
    const QDeadlineTimer deadline = deadlineFor(timeoutMs, readyTimeoutMs());
    bool more = true;
    for (;;) {
        if (Msg msg = takeNamed(name))
            return msg;
        if (m_shutDown)
            return Msg::failed(eMsgResultExit, QStringLiteral("shutting down"));
        if (!more)
            return Msg::failed(eMsgResultTimeout, QStringLiteral("no ") + name + " in time");
        more = waitForActivity(deadline);
    }
}

Msg Dispatcher::waitFor(const MsgCondition &condition, int timeoutMs)
{
    const QDeadlineTimer deadline = deadlineFor(timeoutMs, -1);
    bool more = true;
    for (;;) {
        while (!condition.isDone() && deliverNext()) {
        }
        if (condition.isDone())
            return Msg::failed(eMsgResultOk);
        if (!more)
            return Msg::failed(eMsgResultTimeout, QStringLiteral("condition not met in time"));
        more = waitForActivity(deadline);
    }
}

Msg Dispatcher::takeNamed(const QString &name)
{
    const auto found = std::find_if(m_queue.begin(), m_queue.end(),
                                    [&name](const Msg &msg) { return msg.name() == name; });
    if (found == m_queue.end())
        return Msg();
    const Msg msg = *found;
    m_queue.erase(found);
    return msg;
}

void Dispatcher::enqueue(const Msg &msg)
{
    m_queue.push_back(msg);
}

bool Dispatcher::deliverNext()
{
    if (m_queue.empty())
        return false;
    const Msg msg = std::move(m_queue.front());
    m_queue.pop_front();
    deliver(msg);
    return true;
}

// Store saves made by the handler are written once, when it returns.
void Dispatcher::deliver(const Msg &msg)
{
    ConfigLocal::DeferredSaves saves;
    HandlerPtr handler = m_handlers.value(msg.name());
    if (!handler)
        handler = m_handlers.value(QString());
    if (handler && *handler)
        (*handler)(msg);
    else
        TraceLine(3, "dispatcher", __LINE__) << "No handler for" << msg.name() << "- dropped";
    if (msg.m_channel)
        msg.m_channel->refuse();
}

bool Dispatcher::setTimer(const QString &name, quint32 milliseconds, const QString &data)
{
    dropQueued(name);
    m_timerData.insert(name, data);
    arm(name, milliseconds);
    return true;
}

bool Dispatcher::cancelTimer(const QString &name)
{
    dropQueued(name);
    m_timerData.remove(name);
    disarm(name);
    return true;
}

void Dispatcher::expired(const QString &timerName)
{
    XmlList body;
    const QString data = m_timerData.take(timerName);
    if (!data.isEmpty())
        body.set(QStringLiteral("Data"), data, XmlList::Replace);
    enqueue(Msg::received(timerName, body, nullptr, MsgAddress(MsgAddress::TimerService)));
}

// A relative timer counts monotonic time, so after a jump of the wall clock
// no pending wait still ends at the wall-clock instant it was armed for. The
// owners of the timers look at the clock again and re-arm for what is left;
// an expiry too early costs one pass, one too late a missed time.
void Dispatcher::wallClockJumped(qint64 milliseconds)
{
    TraceLine(2, "dispatcher", __LINE__)
        << "Wall clock jumped by" << milliseconds << "ms - pending timers expire now";
    QStringList pending = m_timerData.keys();
    pending.sort();
    for (const QString &name : std::as_const(pending)) {
        disarm(name);
        expired(name);
    }
}

// An expiry already queued belongs to the timer being replaced or cancelled.
void Dispatcher::dropQueued(const QString &name)
{
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [&name](const Msg &msg) {
                                     return msg.name() == name &&
                                            msg.address().wellKnown() == MsgAddress::TimerService;
                                 }),
                  m_queue.end());
}

bool Dispatcher::startProgram(const QString &program, const QStringList &arguments, int &error)
{
    return startDetached(program, arguments, error);
}

bool Dispatcher::startDetached(const QString &program, const QStringList &arguments, int &error)
{
    errno = 0;
    if (QProcess::startDetached(program, arguments, QDir::currentPath()))
        return true;
    error = errno != 0 ? errno : ENOEXEC;
    return false;
}

} // namespace Orvel
