#include "context.h"

#include "clock.h"
#include "clockwatch.h"
#include "dbustransport.h"
#include "log.h"
#include "signalpipe.h"
#include "trace.h"

#include <QCoreApplication>

#include <csignal>
#include <memory>

namespace Orvel {

namespace {

bool loggingEnabled = true;
QString process;
QString group;

// Qt's event loop needs an application object; a process that made none gets
// one for the duration of run().
std::unique_ptr<QCoreApplication> ensureApplication()
{
    static int argc = 1;
    static char name[] = "orvel";
    static char *argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
}

void reportNoBus(const QString &why)
{
    TraceLine(0, "context", __LINE__) << "Cannot reach the message bus:" << why;
    if (Log *log = Context::logging()) {
        log->initialiseMessage(Log::kFaultCategory, 4, {});
        *log << "%1s cannot reach the message bus: %2s" << process << why;
        log->sendMessage();
    }
}

} // namespace

int Context::run(const std::function<void()> &entry, int, int, const QString &name,
                 const QString &groupName, const QString &)
{
    process = name;
    group = groupName;
    Clock::settleZone();
    const std::unique_ptr<QCoreApplication> application = ensureApplication();
    if (Dispatcher *installed = Dispatcher::current()) {
        entry();
        return installed->exitStatus();
    }
    DBusTransport bus;
    if (!bus.isConnected()) {
        reportNoBus(bus.connectionError());
        return NoBus;
    }
    const SignalPipe shutdown({SIGTERM, SIGINT}, [&bus]() {
        TraceLine(2, "context", __LINE__) << "Shutdown requested by signal";
        bus.markShutDown();
    });
    const ClockWatch clock([&bus](qint64 milliseconds) { bus.wallClockJumped(milliseconds); });
    entry();
    return bus.exitStatus();
}

QString Context::processName()
{
    return process;
}

QString Context::groupName()
{
    return group;
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
