#pragma once

namespace Orvel {

// Outcome of a message operation or handler. The values are fixed: peers and
// traces rely on them. The underlying type is fixed so that a value from a
// peer outside the list is still a value (and prints as nothing).
enum MsgResult : int
{
    eMsgResultUnknown = -1,
    eMsgResultOk = 0,
    eMsgResultHandled = 1,
    eMsgResultNotHandled = 2,
    eMsgResultTimeout = 3,
    eMsgResultIpcError = 4,
    eMsgResultInvalidArgs = 5,
    eMsgResultExit = 6,
    eMsgResultFailed = 7,
};

class Trace;

// Writes the value's name ("eMsgResultTimeout"); a value outside -1..7
// writes nothing.
Trace &operator<<(Trace &trace, MsgResult result);

} // namespace Orvel
