#pragma once

#include "childmanager.h"
#include "msg.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QString>
#include <QStringList>

#include <deque>

namespace Orvel {

// The process's dispatcher, behind Msg, ChildManager, Timer and Spawn: the
// message handlers, the single queue through which every message and timer
// expiry reaches its handler one at a time, the waits, the timers'
// bookkeeping, the hub router, program starts, and the store saves deferred
// to the end of each delivery. A transport derives from it and carries the
// messages: D-Bus in production (DBusTransport), a process-local queue in
// unit tests (MemoryTransport). The one alive is current().
class Dispatcher
{
public:
    using HandlerPtr = ChildManager::HandlerPtr;

    virtual ~Dispatcher();
    Dispatcher(const Dispatcher &) = delete;
    Dispatcher &operator=(const Dispatcher &) = delete;

    static Dispatcher *current();
    // What a wait by name with timeout -1 means: ORVEL_READY_TIMEOUT_S.
    static int readyTimeoutMs();

    void addHandler(const QString &name, const HandlerPtr &handler);
    void removeHandler(const QString &name);

    // A post to the hub router is served here; anything else leaves the process.
    bool post(const MsgAddress &to, const QString &name, const XmlList &body);
    virtual Msg request(const MsgAddress &to, const QString &name, const XmlList &body,
                        int timeoutMs) = 0;
    Msg waitFor(const QString &name, int timeoutMs);
    Msg waitFor(const MsgCondition &condition, int timeoutMs);

    enum class Ownership
    {
        Owned,
        Taken,  // another process owns the name
        Refused // the bus said no (an AccessDenied, say); `error` tells why
    };
    virtual Ownership own(const QString &busName, QString &error) = 0;
    virtual void disown(const QString &busName) = 0;

    bool setTimer(const QString &name, quint32 milliseconds, const QString &data);
    bool cancelTimer(const QString &name);

    // Starts `program` detached; false with `error` set when it could not.
    virtual bool startProgram(const QString &program, const QStringList &arguments, int &error);
    static bool startDetached(const QString &program, const QStringList &arguments, int &error);

    // The hub's shutdown: every wait on ConditionDone ends. `exitStatus` (a
    // Context::ExitStatus) says why the process leaves; the first reason given
    // holds.
    void markShutDown(int exitStatus = 0)
    {
        if (!m_shutDown)
            m_leaving = exitStatus;
        m_shutDown = true;
    }
    bool isShutDown() const { return m_shutDown; }
    int exitStatus() const { return m_leaving; }

    // The wall clock was set or the machine resumed: every pending timer
    // expires at once.
    void wallClockJumped(qint64 milliseconds);

protected:
    Dispatcher();

    void enqueue(const Msg &msg);
    bool deliverNext();
    void deliver(const Msg &msg);
    void expired(const QString &timerName);
    void peerReady(const MsgAddress &peer);

    // A post that leaves the process.
    virtual bool send(const MsgAddress &to, const QString &name, const XmlList &body) = 0;
    virtual void arm(const QString &name, quint32 milliseconds) = 0;
    virtual void disarm(const QString &name) = 0;
    // Watch `peer` and call peerReady() once it is there (at once, if it is).
    virtual void watchReady(const MsgAddress &peer) = 0;
    // Blocks until something may have been queued or the deadline passed.
    // False when the deadline has passed or nothing more can happen.
    virtual bool waitForActivity(const QDeadlineTimer &deadline) = 0;

    std::size_t queuedCount() const { return m_queue.size(); }

private:
    Msg takeNamed(const QString &name);
    void dropQueued(const QString &name);
    void serveHubRouter(const QString &name, const XmlList &body);

    QHash<QString, HandlerPtr> m_handlers;
    QHash<QString, QString> m_timerData;
    std::deque<Msg> m_queue;
    bool m_shutDown = false;
    int m_leaving = 0;
};

} // namespace Orvel
