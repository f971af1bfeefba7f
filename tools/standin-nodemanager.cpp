// standin-nodemanager: plays the node manager for demos and tests. It owns
// org.orvel.NodeManager.NodeManager and answers each
// "NodeMgrRegisterNotifyRulesIdPost" by posting "NodeMgrNotifyRulesIdPost"
// with the rule set to the scheduler.
//
//   standin-nodemanager --rules-id N
//   standin-nodemanager --rules-id-file FILE [--rules-id N]
//
// FILE holds the rule set in the XML text form, e.g.
// <node><RulesId>2</RulesId></node>. On SIGHUP the file is read again and the
// rule set announced again, so a demo can switch rule sets or deactivate the
// node (0). Exit codes: 0 after SIGTERM or SIGINT, 2 on usage errors, an
// unreadable file or a bus or name that cannot be had.

#include "childmanager.h"
#include "config.h"
#include "context.h"
#include "msg.h"
#include "names.h"
#include "signalpipe.h"
#include "toolsupport.h"

#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>

using namespace Orvel;

namespace {

const char kTool[] = "standin-nodemanager";

struct Options
{
    quint32 rulesId = 0;
    bool hasRulesId = false;
    QString rulesIdFile;
};

bool parseOptions(const QStringList &args, Options &options)
{
    for (int i = 0; i + 1 < args.size(); i += 2) {
        bool ok = true;
        if (args.at(i) == QLatin1String("--rules-id")) {
            options.rulesId = args.at(i + 1).toUInt(&ok, 10);
            options.hasRulesId = ok;
        } else if (args.at(i) == QLatin1String("--rules-id-file")) {
            options.rulesIdFile = args.at(i + 1);
        } else {
            return false;
        }
        if (!ok)
            return false;
    }
    return args.size() % 2 == 0 && (options.hasRulesId || !options.rulesIdFile.isEmpty());
}

// Reads the rule set from the file into `rulesId`; false, and `rulesId`
// unchanged, when the file holds none.
bool readRulesIdFile(const QString &file, quint32 &rulesId)
{
    const Config config(file, QString());
    if (config.get(rulesId, Names::RulesId))
        return true;
    ToolSupport::fail(kTool, QStringLiteral("%1 holds no RulesId").arg(file));
    return false;
}

void announce(quint32 rulesId)
{
    const QString scheduler = Names::Scheduler;
    Msg notify(MsgAddress(scheduler, scheduler), Names::NodeMgrNotifyRulesIdPost, XmlList(), 0);
    notify.set(Names::RulesId, rulesId, XmlList::Replace);
    notify.send(false);
    std::printf("announced rule set %u\n", rulesId);
    std::fflush(stdout);
}

int serve(Options &options)
{
    ChildManager manager;
    if (!manager.initialize(1, 1)) {
        ToolSupport::fail(kTool, QStringLiteral("cannot own the node manager's name"));
        return ToolSupport::ExitFailure;
    }
    manager.addMsgHandler(Names::NodeMgrRegisterNotifyRulesIdPost,
                          ChildManager::handler([&options](const Msg &) {
                              announce(options.rulesId);
                              return eMsgResultHandled;
                          }));
    // SIGHUP: read the rule set again and announce it, on the event loop.
    const SignalPipe hangup({SIGHUP}, [&options]() {
        if (!options.rulesIdFile.isEmpty())
            readRulesIdFile(options.rulesIdFile, options.rulesId);
        announce(options.rulesId);
    });
    Msg::wait(ChildManager::ConditionDone(manager), -1);
    manager.release();
    return ToolSupport::ExitSuccess;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    Options options;
    if (!parseOptions(application.arguments().mid(1), options)) {
        std::fprintf(stderr, "usage: standin-nodemanager --rules-id N\n"
                             "       standin-nodemanager --rules-id-file FILE [--rules-id N]\n");
        return ToolSupport::ExitFailure;
    }
    if (!options.rulesIdFile.isEmpty() && !readRulesIdFile(options.rulesIdFile, options.rulesId) &&
        !options.hasRulesId)
        return ToolSupport::ExitFailure;
    int result = ToolSupport::ExitFailure;
    const QString name = Names::NodeManager;
    const auto entry = [&]() { result = serve(options); };
    const int status = Context::run(entry, 3, 0, name, name, QLatin1String(kTool));
    if (status == Context::NoBus)
        ToolSupport::fail(kTool, QStringLiteral("cannot reach the bus"));
    return status == Context::Stopped ? result : 2;
}
