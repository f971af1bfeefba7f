#include "childmanager.h"

#include "context.h"
#include "dispatcher.h"
#include "log.h"
#include "msgaddress.h"
#include "trace.h"

namespace Orvel {

namespace {

// Another process serves the name (`error` empty), or the bus refused it:
// the two are told apart, since only the first means "already running".
void reportNotOwned(const QString &name, const QString &error)
{
    if (error.isEmpty())
        TraceLine(0, "childmanager", __LINE__)
            << "Cannot own" << name << "- another process owns it";
    else
        TraceLine(0, "childmanager", __LINE__) << "Cannot own" << name << "-" << error;
    Log *log = Context::logging();
    if (!log)
        return;
    log->initialiseMessage(Log::kFaultCategory, 4, {});
    if (error.isEmpty())
        *log << "%1s is already running (bus name %2s is taken); this instance exits"
             << Context::processName() << name;
    else
        *log << "%1s cannot own bus name %2s (%3s); this instance exits" << Context::processName()
             << name << error;
    log->sendMessage();
}

} // namespace

ChildManager::~ChildManager()
{
    release();
}

bool ChildManager::initialize(int, int)
{
    Dispatcher *transport = Dispatcher::current();
    const QString name = MsgAddress(Context::processName(), Context::groupName()).busName();
    if (!transport || name.isEmpty())
        return false;
    QString error;
    const Dispatcher::Ownership ownership = transport->own(name, error);
    if (ownership == Dispatcher::Ownership::Owned) {
        m_ownedName = name;
        return true;
    }
    reportNotOwned(name, ownership == Dispatcher::Ownership::Taken ? QString() : error);
    // Deliberate choice: a process that cannot own its name leaves with a
    // failure status rather than 0, so that a service manager sees that this
    // start did not take; it never serves beside the owner.
    transport->markShutDown(Context::NameRefused);
    return false;
}

bool ChildManager::addMsgHandler(const QString &name, const HandlerPtr &handler)
{
    Dispatcher *transport = Dispatcher::current();
    if (!transport || !handler)
        return false;
    transport->addHandler(name, handler);
    if (!m_handlerNames.contains(name))
        m_handlerNames << name;
    return true;
}

void ChildManager::release()
{
    Dispatcher *transport = Dispatcher::current();
    if (!transport)
        return;
    for (const QString &name : m_handlerNames)
        transport->removeHandler(name);
    m_handlerNames.clear();
    if (!m_ownedName.isEmpty())
        transport->disown(m_ownedName);
    m_ownedName.clear();
}

ChildManager::ConditionDone::ConditionDone(const ChildManager &) {}

bool ChildManager::ConditionDone::isDone() const
{
    const Dispatcher *transport = Dispatcher::current();
    return !transport || transport->isShutDown();
}

} // namespace Orvel
