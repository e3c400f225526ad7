#pragma once
// What a PLC's device carries as metrics: each tag's state, and the PLC's figures under
// Diagnostics/ with the names OPC UA clients see in the PLC's Diagnostics folder.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "server/mqtt/sparkplug/Payload.h"
#include "server/toolkit/PlantView.h"
#include "server/toolkit/SODaSCache.h"

namespace zentarc::mqtt::sparkplug {

using WallTime = std::chrono::system_clock::time_point;

// Stale: the Quality for a value the server still has but no longer vouches for.
inline constexpr std::int32_t kQualityStale = 500;

std::uint64_t toMillis(WallTime t);

// A tag's state as a metric (neither name nor alias set): a good value with the time it was
// read; an uncertain one with Quality stale; a Bad status, a value never read, or a tag that
// cannot be read as null with Quality bad, as OPC UA tells the same truth. `now` stamps what
// has no time of its own.
Metric tagMetric(const SODaSCacheSnapshot& snapshot, VARTYPE type, bool readable, WallTime now);

// The PLC's figures, always these and in this order.
inline constexpr std::size_t kDiagnosticsMetrics = 15;
extern const char* const kDiagnosticsNames[kDiagnosticsMetrics];  // "Diagnostics/State", ...
std::vector<Metric> diagnosticsMetrics(const PlcDiagnostics& diagnostics, const std::string& resultText, WallTime now);

}  // namespace zentarc::mqtt::sparkplug
