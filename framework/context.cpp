#include "context.h"

#include "log.h"

namespace Orvel {

namespace {
bool loggingEnabled = true;
}

Log *Context::logging()
{
    static Log log;
    return loggingEnabled ? &log : nullptr;
}

void Context::setLoggingEnabled(bool enabled)
{
    loggingEnabled = enabled;
}

} // namespace Orvel
