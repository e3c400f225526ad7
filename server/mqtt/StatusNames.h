#pragma once
// The status a value carries, by the name OPC UA clients see for the same value, so that
// both sides tell the same truth: Good, Uncertain, BadCommunicationError, BadDeviceFailure,
// BadOutOfService, BadWaitingForInitialData, Bad; and the outcomes of writes.
#include <string_view>

#include "server/toolkit/SODaSCache.h"
#include "server/toolkit/SODaSRequest.h"

namespace zentarc::mqtt {

inline constexpr std::string_view kGood = "Good";

std::string_view statusName(std::uint16_t quality);
// A good value that never came from the device is BadWaitingForInitialData.
std::string_view statusName(const SODaSCacheSnapshot& snapshot);
inline bool isBad(std::string_view status) { return status.substr(0, 3) == "Bad"; }

// The outcome of a completed write request.
std::string_view writeStatusName(const SODaSRequest& request);

}  // namespace zentarc::mqtt
