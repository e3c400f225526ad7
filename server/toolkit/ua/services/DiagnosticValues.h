#pragma once
// The values of the diagnostics variables: each PLC's figures from the plant's snapshots, and
// the server's counts. Each variable keeps the time it took on its present value, so a
// client sees when a figure changed (as far as reads and samplings show it), not merely when
// it asked. Reads come from the services' thread; the plant's snapshots never wait on a PLC.
#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "server/toolkit/ua/services/AddressSpace.h"
#include "server/toolkit/BrokerView.h"
#include "server/toolkit/PlantView.h"

namespace zentarc::ua {

// The variables of a PLC's Diagnostics object, in browse order.
enum class PlcVariable {
  State, Connected, LastResultCode, LastResultText, LastChange, MessagesSent, MessagesFailed,
  Reconnects, ScanPeriodMs, PolledBlocks, PolledTags
};
inline constexpr std::size_t kPlcVariables = 11;

// The server-wide ones.
enum class ServerVariable { Tags, Plcs, PlcsFailing, Sessions, MonitoredItems };
inline constexpr std::size_t kServerVariables = 5;

// The MQTT side's, in the server's Diagnostics/Mqtt object.
enum class BrokerVariable { Connected, Published, Buffered, Dropped, LastError };
inline constexpr std::size_t kBrokerVariables = 5;

struct DiagnosticVariable {
  const char* name;   // browse and display name, last part of a PLC variable's NodeId
  uint32_t dataType;  // ns 0 numeric id
};
const DiagnosticVariable& describe(PlcVariable variable);
const DiagnosticVariable& describe(ServerVariable variable);
const DiagnosticVariable& describe(BrokerVariable variable);

// One figure of a snapshot as the variable shows it.
Variant plcVariableValue(const PlcDiagnostics& diagnostics, PlcVariable variable, const PlantView& plant);

class DiagnosticValues {
 public:
  struct ServerCounts {
    std::size_t tags = 0;
    std::function<std::size_t()> sessions;
    std::function<std::size_t()> monitoredItems;
  };
  using WallClock = std::function<DateTime()>;

  // plant may be null (no PLCs), broker too (no MQTT).
  DiagnosticValues(std::shared_ptr<const PlantView> plant, ServerCounts counts, WallClock clock = {},
                   std::shared_ptr<const BrokerView> broker = nullptr);

  TimedValue plcValue(std::size_t plc, PlcVariable variable);
  TimedValue serverValue(ServerVariable variable);
  TimedValue brokerValue(BrokerVariable variable);

 private:
  struct Observed {
    Variant value;
    DateTime since;
    bool seen = false;
  };
  // The value with the time it was first seen (now, when it differs from the last one seen).
  TimedValue observe(Observed& observed, Variant value);
  std::size_t plcsFailing() const;

  const std::shared_ptr<const PlantView> plant_;
  const std::shared_ptr<const BrokerView> broker_;
  const ServerCounts counts_;
  const WallClock clock_;
  std::mutex mutex_;
  std::vector<std::array<Observed, kPlcVariables>> plcs_;
  std::array<Observed, kServerVariables> server_;
  std::array<Observed, kBrokerVariables> brokerObserved_;
};

}  // namespace zentarc::ua
