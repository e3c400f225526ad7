#pragma once
// Each client's share of the OPC UA server's pools, from the settings store (section of the
// product key, beside Security, Anonymous, Users and Pki): a client is one application
// certificate, or one address on channels without security. A value that cannot be used is
// reported and the default stands; a share above its pool's bound is the whole pool.
#include <string>
#include <vector>

#include "common/settings/SettingsStore.h"
#include "server/toolkit/ua/ServerLimits.h"
#include "server/toolkit/ua/services/ServiceLimits.h"

namespace zentarc::shell {

inline constexpr const char* kClientSessionsValue = "ClientSessions";
inline constexpr const char* kClientSubscriptionsValue = "ClientSubscriptions";
inline constexpr const char* kClientMonitoredItemsValue = "ClientMonitoredItems";
inline constexpr const char* kClientQueuedValuesValue = "ClientQueuedValuesMB";
inline constexpr const char* kClientDeviceOperationsValue = "ClientDeviceOperations";
inline constexpr const char* kClientOutputValue = "ClientOutputMB";

// Sets the shares in `limits` and `service` from the store; `notices` gets a line for every
// value that cannot be used.
void applyClientShares(const settings::SettingsStore& store, ua::UaServerLimits& limits, ua::ServiceLimits& service,
                       std::vector<std::string>& notices);

}  // namespace zentarc::shell
