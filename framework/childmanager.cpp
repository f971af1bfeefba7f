#include "childmanager.h"

#include "context.h"
#include "log.h"
#include "msgaddress.h"
#include "msgnames.h"
#include "trace.h"
#include "transport.h"

namespace Orvel {

ChildManager::~ChildManager()
{
    release();
}

bool ChildManager::initialize(int, int)
{
    Transport *transport = Transport::current();
    const QString name = MsgAddress(Context::processName(), Context::groupName()).busName();
    if (!transport || name.isEmpty())
        return false;
    if (transport->own(name)) {
        ownedName = name;
        return true;
    }
    // Another process serves this name: leave instead of serving beside it.
    TraceLine(0, "childmanager", __LINE__) << "Cannot own" << name << "- another process owns it";
    if (Log *log = Context::logging()) {
        log->initialiseMessage(QLatin1String(Names::Replication), 4, {});
        *log << "%1s is already running (bus name %2s is taken); this instance exits"
             << Context::processName() << name;
        log->sendMessage();
    }
    transport->markShutDown();
    return false;
}

bool ChildManager::addMsgHandler(const QString &name, const boost::shared_ptr<Handler> &handler)
{
    Transport *transport = Transport::current();
    if (!transport || !handler)
        return false;
    transport->addHandler(name, handler);
    if (!handlerNames.contains(name))
        handlerNames << name;
    return true;
}

void ChildManager::release()
{
    Transport *transport = Transport::current();
    if (!transport)
        return;
    for (const QString &name : handlerNames)
        transport->removeHandler(name);
    handlerNames.clear();
    if (!ownedName.isEmpty())
        transport->disown(ownedName);
    ownedName.clear();
}

ChildManager::ConditionDone::ConditionDone(const ChildManager &) {}

bool ChildManager::ConditionDone::isDone() const
{
    const Transport *transport = Transport::current();
    return !transport || transport->isShutDown();
}

} // namespace Orvel
