#include "context.h"
#include "hubrouter.h"
#include "log.h"
#include "msg.h"
#include "names.h"
#include "schedulelist.h"
#include "trace.h"

using namespace Orvel;

namespace {

// The texts that tell one peer's readiness failures apart.
struct Peer
{
    QLatin1StringView name;
    const char *logText;
    const char *noReplyTrace;
    const char *failedTrace;
};

const Peer kNodeManager = {Names::NodeManager, "Node Manager failed to go ready in a timely manner",
                           "Node Manger has not gone ready", "Node Manager failed to go ready"};
const Peer kDistributor = {Names::Distributor, "Distributor failed to go ready in a timely manner",
                           "Distributor has not gone ready", "Distributor failed to go ready"};

void logNotReady(const Peer &peer)
{
    if (Log *log = Context::logging()) {
        log->initialiseMessage(Names::Replication, 4, {});
        *log << peer.logText;
        log->sendMessage();
    }
}

// Asks the hub router to report when `peer` is ready and waits for it.
bool waitUntilReady(const Peer &peer)
{
    const Msg reply = HubRouter::waitUntilReady(MsgAddress(peer.name, peer.name), -1);
    // A stop (SIGTERM, or a lost bus, traced where it was seen) ended the
    // wait: the peer did not fail to come ready.
    if (!reply && reply.lastError() == eMsgResultExit) {
        TraceLine(2, "schedmain", __LINE__) << "Stopped while waiting for" << peer.name;
        return false;
    }
    if (!reply) {
        logNotReady(peer);
        TraceLine(0, "schedmain", __LINE__) << peer.noReplyTrace << reply.lastError();
        return false;
    }
    if (!reply.get(HubRouter::Success, false)) {
        logNotReady(peer);
        TraceLine(0, "schedmain", __LINE__) << peer.failedTrace;
        return false;
    }
    return true;
}

void schedulerEntry()
{
    TraceLine(2, "schedmain", __LINE__) << "Wait for the node manager to become ready";
    if (!waitUntilReady(kNodeManager))
        return;
    TraceLine(2, "schedmain", __LINE__) << "Wait for the distributor to become ready";
    if (!waitUntilReady(kDistributor))
        return;
    TraceLine(2, "schedmain", __LINE__) << "Context initialized, create scheduler object";
    ScheduleList list;
    list.run();
    TraceLine(2, "schedmain", __LINE__) << "SchedList initialized, scheduler process exiting";
}

} // namespace

// Deliberate choice: the exit status is Context::run's answer, not 0 in
// every case: a lost bus (2) or a refused bus name (3) must look like a
// failure to the service manager, which then starts the scheduler again.
// A stop and a peer that never came ready still end with 0.
int main()
{
    const QString name = Names::Scheduler;
    return Context::run(schedulerEntry, 3, 64, name, name, name);
}
