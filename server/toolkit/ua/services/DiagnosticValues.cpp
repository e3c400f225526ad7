#include "server/toolkit/ua/services/DiagnosticValues.h"

#include <algorithm>
#include <limits>

#include "server/toolkit/ua/NodeIds.h"
#include "server/toolkit/ua/services/ValueMapping.h"

namespace zentarc::ua {

namespace {

const DiagnosticVariable kPlcVariableTable[kPlcVariables] = {
    {"State", Id::String},         {"Connected", Id::Boolean},      {"LastResultCode", Id::UInt32},
    {"LastResultText", Id::String}, {"LastChange", Id::DateTime},   {"MessagesSent", Id::UInt64},
    {"MessagesFailed", Id::UInt64}, {"Reconnects", Id::UInt32},     {"ScanPeriodMs", Id::Double},
    {"PolledBlocks", Id::UInt32},   {"PolledTags", Id::UInt32}};

const DiagnosticVariable kServerVariableTable[kServerVariables] = {
    {"Tags", Id::UInt32}, {"Plcs", Id::UInt32}, {"PlcsFailing", Id::UInt32}, {"Sessions", Id::UInt32},
    {"MonitoredItems", Id::UInt32}};

const DiagnosticVariable kBrokerVariableTable[kBrokerVariables] = {
    {"Connected", Id::Boolean}, {"Published", Id::UInt64}, {"Buffered", Id::UInt64}, {"Dropped", Id::UInt64},
    {"LastError", Id::String}};

uint32_t clampToUInt32(uint64_t n) {
  return static_cast<uint32_t>(std::min<uint64_t>(n, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

const DiagnosticVariable& describe(PlcVariable variable) {
  return kPlcVariableTable[static_cast<std::size_t>(variable)];
}

const DiagnosticVariable& describe(ServerVariable variable) {
  return kServerVariableTable[static_cast<std::size_t>(variable)];
}

const DiagnosticVariable& describe(BrokerVariable variable) {
  return kBrokerVariableTable[static_cast<std::size_t>(variable)];
}

Variant plcVariableValue(const PlcDiagnostics& d, PlcVariable variable, const PlantView& plant) {
  switch (variable) {
    case PlcVariable::State: return Variant::of(String(d.state));
    case PlcVariable::Connected: return Variant::of(d.connected);
    case PlcVariable::LastResultCode: return Variant::of(d.lastResultCode);
    case PlcVariable::LastResultText:
      return Variant::of(d.lastResultCode == 0 ? String() : plant.resultText(d.lastResultCode));
    case PlcVariable::LastChange:
      // Never changed: the null DateTime rather than a misleading 1970.
      return Variant::of(d.lastChange == std::chrono::system_clock::time_point{} ? DateTime{}
                                                                                 : toDateTime(d.lastChange));
    case PlcVariable::MessagesSent: return Variant::of(d.messagesSent);
    case PlcVariable::MessagesFailed: return Variant::of(d.messagesFailed);
    case PlcVariable::Reconnects: return Variant::of(clampToUInt32(d.reconnects));
    case PlcVariable::ScanPeriodMs: return Variant::of(static_cast<double>(d.scanPeriodMs));
    case PlcVariable::PolledBlocks: return Variant::of(d.polledBlocks);
    case PlcVariable::PolledTags: return Variant::of(d.polledTags);
  }
  return Variant();
}

DiagnosticValues::DiagnosticValues(std::shared_ptr<const PlantView> plant, ServerCounts counts, WallClock clock,
                                   std::shared_ptr<const BrokerView> broker)
    : plant_(std::move(plant)),
      broker_(std::move(broker)),
      counts_(std::move(counts)),
      clock_(clock ? std::move(clock) : WallClock([] { return DateTime::now(); })),
      plcs_(plant_ ? plant_->plcCount() : 0) {}

TimedValue DiagnosticValues::observe(Observed& observed, Variant value) {
  if (!observed.seen || !(observed.value == value)) {
    observed.value = std::move(value);
    observed.since = clock_();
    observed.seen = true;
  }
  return TimedValue{observed.value, observed.since};
}

TimedValue DiagnosticValues::plcValue(std::size_t plc, PlcVariable variable) {
  if (!plant_ || plc >= plcs_.size()) return TimedValue{Variant(), clock_()};
  // The snapshot is taken outside our lock: it has a lock of its own.
  Variant value = plcVariableValue(plant_->diagnostics(plc), variable, *plant_);
  std::lock_guard lock(mutex_);
  return observe(plcs_[plc][static_cast<std::size_t>(variable)], std::move(value));
}

std::size_t DiagnosticValues::plcsFailing() const {
  std::size_t failing = 0;
  for (std::size_t i = 0; i < plcs_.size(); ++i) failing += plant_->diagnostics(i).failing ? 1 : 0;
  return failing;
}

TimedValue DiagnosticValues::serverValue(ServerVariable variable) {
  std::size_t n = 0;
  switch (variable) {
    case ServerVariable::Tags: n = counts_.tags; break;
    case ServerVariable::Plcs: n = plcs_.size(); break;
    case ServerVariable::PlcsFailing: n = plant_ ? plcsFailing() : 0; break;
    case ServerVariable::Sessions: n = counts_.sessions ? counts_.sessions() : 0; break;
    case ServerVariable::MonitoredItems: n = counts_.monitoredItems ? counts_.monitoredItems() : 0; break;
  }
  std::lock_guard lock(mutex_);
  return observe(server_[static_cast<std::size_t>(variable)], Variant::of(clampToUInt32(n)));
}

TimedValue DiagnosticValues::brokerValue(BrokerVariable variable) {
  if (!broker_) return TimedValue{Variant(), clock_()};
  // The figures are copied without waiting on the broker.
  const BrokerFigures f = broker_->figures();
  Variant value;
  switch (variable) {
    case BrokerVariable::Connected: value = Variant::of(f.connected); break;
    case BrokerVariable::Published: value = Variant::of(f.published); break;
    case BrokerVariable::Buffered: value = Variant::of(f.buffered); break;
    case BrokerVariable::Dropped: value = Variant::of(f.dropped); break;
    case BrokerVariable::LastError: value = Variant::of(String(f.lastError)); break;
  }
  std::lock_guard lock(mutex_);
  return observe(brokerObserved_[static_cast<std::size_t>(variable)], std::move(value));
}

}  // namespace zentarc::ua
