#include "server/mqtt/sparkplug/DeviceMetrics.h"

#include <algorithm>

namespace zentarc::mqtt::sparkplug {

const char* const kDiagnosticsNames[kDiagnosticsMetrics] = {
    "Diagnostics/State",        "Diagnostics/Connected",      "Diagnostics/LastResultCode",
    "Diagnostics/LastResultText", "Diagnostics/LastChange",   "Diagnostics/MessagesSent",
    "Diagnostics/MessagesFailed", "Diagnostics/Reconnects",   "Diagnostics/ScanPeriodMs",
    "Diagnostics/PolledBlocks", "Diagnostics/PolledTags",     "Diagnostics/CpuState",
    "Diagnostics/CpuRunning",   "Diagnostics/SweepTimeMs",    "Diagnostics/PlcStatusWord"};

std::uint64_t toMillis(WallTime t) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
  return ms > 0 ? static_cast<std::uint64_t>(ms) : 0;
}

Metric tagMetric(const SODaSCacheSnapshot& snapshot, VARTYPE type, bool readable, WallTime now) {
  Metric m;
  m.datatype = dataTypeOf(type);
  const bool stamped = snapshot.timeStamp != WallTime{};
  m.timestamp = toMillis(stamped && readable ? snapshot.timeStamp : now);
  const std::uint16_t q = snapshot.quality & OPC_QUALITY_MASK;
  if (!readable || snapshot.waitingForInitialData || (q != OPC_QUALITY_GOOD && q != OPC_QUALITY_UNCERTAIN)) {
    // The last value is not the device's now: null, never a stale value reported as current.
    m.isNull = true;
    m.quality = kQualityBad;
    return m;
  }
  m.value = snapshot.value;
  if (q == OPC_QUALITY_UNCERTAIN) m.quality = kQualityStale;
  return m;
}

std::vector<Metric> diagnosticsMetrics(const PlcDiagnostics& d, const std::string& resultText, WallTime now) {
  std::vector<Metric> out(kDiagnosticsMetrics);
  const std::uint64_t stamp = toMillis(now);
  auto set = [&](std::size_t i, DataType type, MetricValue value) {
    out[i].name = kDiagnosticsNames[i];
    out[i].datatype = type;
    out[i].timestamp = stamp;
    out[i].value = std::move(value);
  };
  set(0, DataType::String, d.state);
  set(1, DataType::Boolean, d.connected);
  set(2, DataType::UInt32, std::uint64_t{d.lastResultCode});
  set(3, DataType::String, d.lastResultCode == 0 ? std::string() : resultText);
  set(4, DataType::DateTime, toMillis(d.lastChange));
  set(5, DataType::UInt64, d.messagesSent);
  set(6, DataType::UInt64, d.messagesFailed);
  set(7, DataType::UInt32, std::min<std::uint64_t>(d.reconnects, 0xFFFFFFFFu));
  set(8, DataType::Double, static_cast<double>(d.scanPeriodMs));
  set(9, DataType::UInt32, std::uint64_t{d.polledBlocks});
  set(10, DataType::UInt32, std::uint64_t{d.polledTags});
  set(11, DataType::String, d.cpuState);
  set(12, DataType::Boolean, d.cpuRunning);
  set(13, DataType::UInt16, std::uint64_t{d.sweepTimeMs});
  set(14, DataType::UInt16, std::uint64_t{d.plcStatusWord});
  // Never changed: null rather than a misleading 1970.
  if (d.lastChange == WallTime{}) {
    out[4].value = std::monostate{};
    out[4].isNull = true;
  }
  return out;
}

}  // namespace zentarc::mqtt::sparkplug
