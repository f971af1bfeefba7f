#include "msgresult.h"

#include "trace.h"

#include <iterator>

namespace Orvel {

Trace &operator<<(Trace &trace, MsgResult result)
{
    static const char *const names[] = {
        "eMsgResultUnknown",     "eMsgResultOk",      "eMsgResultHandled",
        "eMsgResultNotHandled",  "eMsgResultTimeout", "eMsgResultIpcError",
        "eMsgResultInvalidArgs", "eMsgResultExit",    "eMsgResultFailed",
    };
    const int index = int(result) - int(eMsgResultUnknown);
    if (index >= 0 && index < int(std::size(names)))
        trace << names[index];
    return trace;
}

} // namespace Orvel
