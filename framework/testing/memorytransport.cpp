#include "memorytransport.h"

#include "clock.h"
#include "replychannel.h"

namespace Orvel {

namespace {

// A handler that re-arms its timer for 0 ms would keep advance() at one
// instant for ever; this many expiries in one advance means exactly that.
constexpr int kMaxExpiriesPerAdvance = 100000;

class CapturingChannel : public ReplyChannel
{
public:
    CapturingChannel(QList<MemoryTransport::Replied> &answers, const QString &request)
        : m_answers(answers)
        , m_request(request)
    {}

protected:
    void sendReply(const QString &name, const XmlList &body) override
    {
        m_answers.append({m_request, name, body});
    }
    void sendNotHandled() override { m_answers.append({m_request, QString(), XmlList()}); }

private:
    QList<MemoryTransport::Replied> &m_answers;
    QString m_request;
};

} // namespace

MemoryTransport::MemoryTransport() = default;
MemoryTransport::~MemoryTransport() = default;

void MemoryTransport::inject(const QString &name, const XmlList &body)
{
    enqueue(Msg::received(name, body, nullptr));
}

void MemoryTransport::deliver(const QString &name, const XmlList &body)
{
    inject(name, body);
    drain();
}

Msg MemoryTransport::deliverRequest(const QString &name, const XmlList &body)
{
    const int before = m_answers.size();
    enqueue(Msg::received(name, body, std::make_shared<CapturingChannel>(m_answers, name)));
    drain();
    for (int i = before; i < m_answers.size(); ++i) {
        const Replied &answer = m_answers.at(i);
        if (answer.request == name)
            return answer.name.isEmpty()
                       ? Msg::failed(eMsgResultNotHandled, QStringLiteral("not handled"))
                       : Msg::received(answer.name, answer.body, nullptr);
    }
    return Msg::failed(eMsgResultNotHandled, QStringLiteral("not handled"));
}

void MemoryTransport::drain()
{
    while (deliverNext()) {
    }
}

void MemoryTransport::setPeerReady(const MsgAddress &peer)
{
    m_readyPeers << peer;
    if (m_watchedPeers.removeAll(peer) > 0)
        peerReady(peer);
}

void MemoryTransport::setNameTaken(const QString &busName)
{
    m_takenNames << busName;
}

bool MemoryTransport::isArmed(const QString &timer) const
{
    return m_timers.count(timer) > 0;
}

qint64 MemoryTransport::armedMs(const QString &timer) const
{
    const auto found = m_timers.find(timer);
    return found == m_timers.end() ? -1 : found->second.ms;
}

QDateTime MemoryTransport::dueAt(const QString &timer) const
{
    const auto found = m_timers.find(timer);
    return found == m_timers.end() ? QDateTime() : found->second.due;
}

bool MemoryTransport::fire(const QString &timer)
{
    if (m_timers.erase(timer) == 0)
        return false;
    expired(timer);
    drain();
    return true;
}

std::map<QString, MemoryTransport::Armed>::const_iterator MemoryTransport::earliest() const
{
    auto best = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (best == m_timers.end() || it->second.due < best->second.due ||
            (it->second.due == best->second.due && it->second.order < best->second.order))
            best = it;
    }
    return best;
}

int MemoryTransport::advance(qint64 milliseconds)
{
    const QDateTime target = Clock::now().addMSecs(milliseconds);
    int delivered = 0;
    for (; delivered < kMaxExpiriesPerAdvance; ++delivered) {
        const auto next = earliest();
        if (next == m_timers.end() || next->second.due > target)
            break;
        const QString name = next->first;
        if (next->second.due > Clock::now())
            Clock::setNow(next->second.due);
        fire(name);
    }
    if (Clock::now() < target)
        Clock::setNow(target);
    return delivered;
}

void MemoryTransport::jumpClock(qint64 milliseconds)
{
    Clock::advance(milliseconds);
    wallClockJumped(milliseconds);
    drain();
}

void MemoryTransport::clearCaptured()
{
    m_posts.clear();
    m_answers.clear();
    m_starts.clear();
}

Msg MemoryTransport::request(const MsgAddress &to, const QString &name, const XmlList &body, int)
{
    m_posts.append({to, name, body});
    return Msg::failed(eMsgResultNotHandled, QStringLiteral("no peers in memory"));
}

Dispatcher::Ownership MemoryTransport::own(const QString &busName, QString &)
{
    if (m_takenNames.contains(busName))
        return Ownership::Taken;
    m_owned = busName;
    return Ownership::Owned;
}

void MemoryTransport::disown(const QString &busName)
{
    if (m_owned == busName)
        m_owned.clear();
}

bool MemoryTransport::startProgram(const QString &program, const QStringList &arguments, int &)
{
    m_starts.append({program, arguments});
    return true;
}

bool MemoryTransport::send(const MsgAddress &to, const QString &name, const XmlList &body)
{
    m_posts.append({to, name, body});
    return true;
}

void MemoryTransport::arm(const QString &name, quint32 milliseconds)
{
    m_timers[name] = {qint64(milliseconds), Clock::now().addMSecs(milliseconds), m_armCount++};
}

void MemoryTransport::disarm(const QString &name)
{
    m_timers.erase(name);
}

void MemoryTransport::watchReady(const MsgAddress &peer)
{
    if (m_readyPeers.contains(peer))
        peerReady(peer);
    else
        m_watchedPeers << peer;
}

// Queues the expiry of every timer the clock has reached.
bool MemoryTransport::expireDue()
{
    bool any = false;
    for (auto next = earliest(); next != m_timers.end() && next->second.due <= Clock::now();
         next = earliest()) {
        const QString name = next->first;
        m_timers.erase(name);
        expired(name);
        any = true;
    }
    return any;
}

// Nothing arrives in memory by itself: only due timers and the idle hook
// can add to the queue.
bool MemoryTransport::waitForActivity(const QDeadlineTimer &)
{
    const std::size_t before = queuedCount();
    if (expireDue())
        return true;
    if (!m_idleHook)
        return false;
    m_idleHook();
    expireDue();
    return queuedCount() > before || isShutDown();
}

} // namespace Orvel
