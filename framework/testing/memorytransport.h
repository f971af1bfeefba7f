#pragma once

#include "dispatcher.h"

#include <QDateTime>
#include <QList>

#include <functional>
#include <map>

namespace Orvel {

// The in-memory transport for unit tests: the same Msg, ChildManager, Timer
// and Spawn API over a process-local queue, with time taken from Clock. While
// alive it is the current transport (Context::run then uses it instead of the
// bus). Nothing leaves the process: posts, replies and started programs are
// captured for the test to inspect.
//
//   MemoryTransport bus;
//   Clock::setNow(...);
//   ... code under test arms "SchedulerTimer" for 10000 ms ...
//   EXPECT_EQ(bus.armedMs("SchedulerTimer"), 10000);
//   bus.advance(10000);   // the clock moves and the expiry is delivered
class MemoryTransport : public Dispatcher
{
public:
    struct Posted
    {
        MsgAddress to;
        QString name;
        XmlList body;
    };
    struct Replied
    {
        QString request;
        // Empty when no handler answered (not handled).
        QString name;
        XmlList body;
    };
    struct Started
    {
        QString program;
        QStringList arguments;
    };

    MemoryTransport();
    ~MemoryTransport() override;

    // Queues a message and delivers everything queued, in order, to the
    // registered handlers.
    void deliver(const QString &name, const XmlList &body = XmlList());
    // The same for a request; answers its reply, or an invalid message with
    // eMsgResultNotHandled when no handler replied.
    Msg deliverRequest(const QString &name, const XmlList &body = XmlList());
    // Only queues: for code that waits (Msg::wait) after the test set it up.
    void inject(const QString &name, const XmlList &body = XmlList());

    // The hub router reports `peer` ready: at once when it is watched
    // already, else as soon as a process registers for it.
    void setPeerReady(const MsgAddress &peer);
    // Another process owns `busName`: ChildManager::initialize fails on it.
    void setNameTaken(const QString &busName);
    // The hub's shutdown: waits on ConditionDone end.
    void shutDown() { markShutDown(); }
    // Called when a wait finds nothing queued and nothing due; it may inject
    // messages, move the clock or shut down. Without one (or when it does
    // nothing) the wait gives up at once instead of blocking.
    void setIdleHook(std::function<void()> hook) { m_idleHook = std::move(hook); }

    bool isArmed(const QString &timer) const;
    // The milliseconds the timer was last armed for; -1 when not armed.
    qint64 armedMs(const QString &timer) const;
    QDateTime dueAt(const QString &timer) const;
    // Delivers the timer's expiry now, whatever the clock says; false when
    // it is not armed.
    bool fire(const QString &timer);
    // Moves the frozen clock forward by `milliseconds`, stopping at each
    // timer as it falls due (earliest first) to deliver its expiry. Answers
    // the number of expiries delivered.
    int advance(qint64 milliseconds);
    // Stands for the notification that the wall clock was set or the machine
    // resumed: the frozen clock moves by `milliseconds` (back when negative),
    // every pending timer expires at once and everything queued is delivered.
    void jumpClock(qint64 milliseconds);

    QList<Posted> posted() const { return m_posts; }
    QList<Replied> replies() const { return m_answers; }
    QList<Started> started() const { return m_starts; }
    QString ownedName() const { return m_owned; }
    void clearCaptured();

    Msg request(const MsgAddress &to, const QString &name, const XmlList &body,
                int timeoutMs) override;
    Ownership own(const QString &busName, QString &error) override;
    void disown(const QString &busName) override;
    bool startProgram(const QString &program, const QStringList &arguments, int &error) override;

protected:
    bool send(const MsgAddress &to, const QString &name, const XmlList &body) override;
    void arm(const QString &name, quint32 milliseconds) override;
    void disarm(const QString &name) override;
    void watchReady(const MsgAddress &peer) override;
    bool waitForActivity(const QDeadlineTimer &deadline) override;

private:
    struct Armed
    {
        qint64 ms;
        QDateTime due;
        quint64 order;
    };

    void drain();
    bool expireDue();
    std::map<QString, Armed>::const_iterator earliest() const;

    std::map<QString, Armed> m_timers;
    quint64 m_armCount = 0;
    QList<Posted> m_posts;
    QList<Replied> m_answers;
    QList<Started> m_starts;
    QList<MsgAddress> m_readyPeers;
    QList<MsgAddress> m_watchedPeers;
    QStringList m_takenNames;
    QString m_owned;
    std::function<void()> m_idleHook;
};

} // namespace Orvel
