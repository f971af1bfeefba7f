#include "timer.h"

#include "transport.h"

namespace Orvel {

bool Timer::set(const QString &name, quint32 milliseconds, const QString &data)
{
    Transport *transport = Transport::current();
    return transport && transport->setTimer(name, milliseconds, data);
}

bool Timer::cancel(const QString &name)
{
    Transport *transport = Transport::current();
    return transport && transport->cancelTimer(name);
}

} // namespace Orvel
