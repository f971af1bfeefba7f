// standin-distributor: plays the distributor for demos and tests. It owns
// org.orvel.Distributor.Distributor and prints every message it receives as
// one line: local time, message name, body.
//
// Exit codes: 0 after SIGTERM or SIGINT, 2 when the bus or the name cannot be
// had.

#include "context.h"
#include "names.h"
#include "toolsupport.h"

#include <QCoreApplication>

#include <cstdio>

using namespace Orvel;

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (application.arguments().size() != 1) {
        std::fprintf(stderr, "usage: standin-distributor\n");
        return ToolSupport::ExitFailure;
    }
    int result = ToolSupport::ExitFailure;
    const QString name = Names::Distributor;
    const auto entry = [&result]() {
        result = ToolSupport::printEveryMessage("standin-distributor");
    };
    const int status = Context::run(entry, 3, 0, name, name, QStringLiteral("standin-distributor"));
    if (status == Context::NoBus)
        ToolSupport::fail("standin-distributor", QStringLiteral("cannot reach the bus"));
    return status == Context::Stopped ? result : 2;
}
