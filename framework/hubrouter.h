#pragma once

#include <QLatin1StringView>

namespace Orvel {

class Msg;
class MsgAddress;

// The hub router (address 2), which the framework itself plays: a process
// asks it to report when a peer is ready, and it answers once the peer's bus
// name has an owner.
namespace HubRouter {

inline constexpr QLatin1StringView RegisterNotifyOnReadyPost{"HubRtrRegisterNotifyOnReadyPost"};
inline constexpr QLatin1StringView ProcessReadyPost{"HubRtrProcessReadyPost"};
// Body keys: the peer's address, and whether it is ready.
inline constexpr QLatin1StringView Address{"Address"};
inline constexpr QLatin1StringView Success{"Success"};

// Asks the hub router to report when `peer` is ready and waits for the
// answer, at most `timeoutMs` (-1: ORVEL_READY_TIMEOUT_S). The answer is the
// "HubRtrProcessReadyPost" message, whose "Success" says whether the peer is
// ready, or an invalid message whose lastError() says why the wait ended:
// eMsgResultTimeout, or eMsgResultExit when the process was stopped.
Msg waitUntilReady(const MsgAddress &peer, int timeoutMs);
// Whether `peer` came ready within `timeoutMs`.
bool isReady(const MsgAddress &peer, int timeoutMs);

} // namespace HubRouter

} // namespace Orvel
