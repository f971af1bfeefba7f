#pragma once

#include "msgcondition.h"
#include "msgresult.h"

#include <QString>
#include <QStringList>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

namespace Orvel {

class Msg;

// A managed child of the hub: it owns the process's bus name, routes
// messages by name to its handlers and learns of the hub's shutdown.
class ChildManager
{
public:
    typedef boost::function1<MsgResult, const Msg &> Handler;

    ChildManager() = default;
    virtual ~ChildManager();
    ChildManager(const ChildManager &) = delete;
    ChildManager &operator=(const ChildManager &) = delete;

    // Enrols with the hub: owns "org.orvel.<group>.<process>" for the names
    // given to Context::run. When the name is taken or the bus refuses it
    // (AccessDenied), answers false, writes a level-0 trace line and an
    // event-log line that tell the two apart, and marks the process done with
    // Context::NameRefused, so that it leaves instead of serving beside the
    // owner. `state` and `flags` are kept for callers.
    bool initialize(int state, int flags);
    // Routes messages called `name` to `handler`; an empty name routes every
    // message that has no handler of its own. A later handler of the same
    // name replaces the earlier one.
    bool addMsgHandler(const QString &name, const boost::shared_ptr<Handler> &handler);
    // Removes this manager's handlers and gives up the bus name.
    void release();

    // Done once the hub has shut the process down (SIGTERM or SIGINT).
    class ConditionDone : public MsgCondition
    {
    public:
        explicit ConditionDone(const ChildManager &manager);
        bool isDone() const override;
    };

private:
    QStringList handlerNames;
    QString ownedName;
};

} // namespace Orvel
