#pragma once

#include <QLatin1StringView>

// The messages of the hub router (address 2), which the framework plays:
// a process asks it to report when a peer is ready, and it answers when the
// peer's bus name has an owner.
namespace Orvel::HubNames {

inline constexpr QLatin1StringView RegisterNotifyOnReadyPost{"HubRtrRegisterNotifyOnReadyPost"};
inline constexpr QLatin1StringView ProcessReadyPost{"HubRtrProcessReadyPost"};
// Body keys: the peer's address, and whether it is ready.
inline constexpr QLatin1StringView Address{"Address"};
inline constexpr QLatin1StringView Success{"Success"};

} // namespace Orvel::HubNames
