#pragma once

namespace Orvel {

// Something a delivery wait runs until: Msg::wait(condition, timeout)
// delivers messages until isDone() answers true.
class MsgCondition
{
public:
    virtual ~MsgCondition() = default;
    virtual bool isDone() const = 0;
};

} // namespace Orvel
