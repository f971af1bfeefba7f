// orvelmsg: posts, requests and listens for framework messages, for people,
// scripts and tests that play the scheduler's peers.
//
//   orvelmsg post PROCESS GROUP NAME [BODY]
//   orvelmsg request PROCESS GROUP NAME [BODY]
//   orvelmsg listen PROCESS GROUP
//
// Bodies are the XmlList text form, e.g. '<b><RulesId type="uint">3</RulesId></b>'.
// Exit codes: 0 done, 1 the request was not answered, 2 usage errors, a body
// that does not parse, a peer that is not there or a bus that cannot be reached.

#include "context.h"
#include "hubrouter.h"
#include "msg.h"
#include "toolsupport.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

using namespace Orvel;

namespace {

// How long post and request look for their peer before giving up.
constexpr int kPeerLookupMs = 2000;

int usage()
{
    std::fprintf(stderr, "usage: orvelmsg post PROCESS GROUP NAME [BODY]\n"
                         "       orvelmsg request PROCESS GROUP NAME [BODY]\n"
                         "       orvelmsg listen PROCESS GROUP\n");
    return ToolSupport::ExitFailure;
}

void fail(const QString &text)
{
    ToolSupport::fail("orvelmsg", text);
}

int send(bool isRequest, const MsgAddress &peer, const QString &name, const XmlList &body)
{
    if (!HubRouter::isReady(peer, kPeerLookupMs)) {
        fail(QStringLiteral("no process owns %1").arg(peer.busName()));
        return ToolSupport::ExitFailure;
    }
    Msg msg(peer, name, body, 0);
    if (!isRequest)
        return msg.send(false) ? 0 : 2;
    const Msg reply = msg.request(-1);
    if (!reply) {
        fail(QStringLiteral("request %1 failed: %2").arg(name, reply.errorText()));
        return ToolSupport::ExitProblem;
    }
    std::printf("%s %s\n", qPrintable(reply.name()), reply.body().toBinary().constData());
    return ToolSupport::ExitSuccess;
}

int runCommand(const QStringList &args)
{
    const QString command = args.value(0);
    const bool isListen = command == QLatin1String("listen") && args.size() == 3;
    const bool isSend = (command == QLatin1String("post") || command == QLatin1String("request")) &&
                        (args.size() == 4 || args.size() == 5);
    if (!isListen && !isSend)
        return usage();
    XmlList body;
    if (args.size() == 5) {
        body = XmlList::fromText(args.at(4).toUtf8(), QStringLiteral("the command line"));
        if (!body) {
            fail(QStringLiteral("the body is not well-formed XML; nothing sent"));
            return ToolSupport::ExitFailure;
        }
    }
    int result = ToolSupport::ExitFailure;
    const MsgAddress peer(args.at(1), args.at(2));
    const auto entry = [&]() {
        result = isListen ? ToolSupport::printEveryMessage("orvelmsg")
                          : send(command == QLatin1String("request"), peer, args.at(3), body);
    };
    const QString self = isListen ? args.at(1) : QStringLiteral("orvelmsg");
    const QString group = isListen ? args.at(2) : QStringLiteral("Tools");
    if (Context::run(entry, 3, 0, self, group, QStringLiteral("orvelmsg")) != 0)
        return ToolSupport::ExitFailure;
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    return runCommand(application.arguments().mid(1));
}
