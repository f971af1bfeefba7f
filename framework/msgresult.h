#pragma once

namespace Orvel {

// Outcome of a message operation or handler. The values are fixed: peers and
// traces rely on them.
enum MsgResult
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

} // namespace Orvel
