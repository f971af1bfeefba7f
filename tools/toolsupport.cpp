#include "toolsupport.h"

#include "childmanager.h"
#include "clock.h"
#include "context.h"
#include "msg.h"

#include <boost/make_shared.hpp>

#include <cstdio>

namespace ToolSupport {

void printMessage(const Orvel::Msg &msg)
{
    const QString stamp = Orvel::Clock::now().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"));
    std::printf("%s %s %s\n", qPrintable(stamp), qPrintable(msg.name()),
                msg.body().toBinary().constData());
    std::fflush(stdout);
}

void fail(const char *tool, const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", tool, qPrintable(text));
}

int printEveryMessage(const char *tool)
{
    using namespace Orvel;
    ChildManager manager;
    if (!manager.initialize(1, 1)) {
        fail(tool, QStringLiteral("cannot own the name of %1/%2")
                       .arg(Context::processName(), Context::groupName()));
        return 2;
    }
    manager.addMsgHandler(QString(), boost::make_shared<ChildManager::Handler>([](const Msg &msg) {
                              printMessage(msg);
                              return eMsgResultHandled;
                          }));
    Msg::wait(ChildManager::ConditionDone(manager), -1);
    manager.release();
    return 0;
}

} // namespace ToolSupport
