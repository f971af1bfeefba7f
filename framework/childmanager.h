#pragma once

#include "msgcondition.h"
#include "msgresult.h"

#include <QString>
#include <QStringList>

#include <boost/bind/bind.hpp>
#include <boost/function.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

namespace Orvel {

class Msg;

// A managed child of the hub: it owns the process's bus name, routes
// messages by name to its handlers and learns of the hub's shutdown.
class ChildManager
{
public:
    using Handler = boost::function1<MsgResult, const Msg &>;
    using HandlerPtr = boost::shared_ptr<Handler>;

    // A handler for addMsgHandler: `call` is any callable taking a message.
    template<typename Call> static HandlerPtr handler(Call call)
    {
        return boost::make_shared<Handler>(std::move(call));
    }
    // A handler that calls `member` on `object`.
    template<typename Object>
    static HandlerPtr handler(Object *object, MsgResult (Object::*member)(const Msg &))
    {
        return boost::make_shared<Handler>(boost::bind(member, object, boost::placeholders::_1));
    }

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
    bool addMsgHandler(const QString &name, const HandlerPtr &handler);
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
    QStringList m_handlerNames;
    QString m_ownedName;
};

} // namespace Orvel
