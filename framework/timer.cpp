#include "timer.h"

#include "dispatcher.h"

namespace Orvel {

bool Timer::set(const QString &name, quint32 milliseconds, const QString &data)
{
    Dispatcher *transport = Dispatcher::current();
    return transport && transport->setTimer(name, milliseconds, data);
}

bool Timer::cancel(const QString &name)
{
    Dispatcher *transport = Dispatcher::current();
    return transport && transport->cancelTimer(name);
}

} // namespace Orvel
