#pragma once
// What the northbound sides (OPC UA, MQTT) show of the plant beyond its tags: the PLCs in
// configuration order, which PLC each tag belongs to, and each PLC's figures. The server
// implements it over its devices; the serving sides need nothing else of them.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "server/toolkit/SODaSTag.h"

namespace zentarc {

// A PLC's figures as its worker last published them.
struct PlcDiagnostics {
  std::string state = "idle";  // "connecting", "working", "failing", "demoted" or "idle"
  bool failing = false;        // failing or demoted
  bool connected = false;
  std::uint32_t lastResultCode = 0;
  std::chrono::system_clock::time_point lastChange{};  // the epoch: never
  std::uint64_t messagesSent = 0;
  std::uint64_t messagesFailed = 0;
  std::uint64_t reconnects = 0;
  std::uint32_t scanPeriodMs = 0;
  std::uint32_t polledBlocks = 0;
  std::uint32_t polledTags = 0;
};

class PlantView {
 public:
  virtual ~PlantView() = default;

  // The PLCs never change while serving.
  virtual std::size_t plcCount() const = 0;
  virtual std::string plcName(std::size_t plc) const = 0;
  // The PLC a tag belongs to; none for a tag of no known PLC.
  virtual std::optional<std::size_t> plcOf(const SODaSTag& tag) const = 0;
  // A copy of the PLC's figures, from any thread, without waiting on the PLC.
  virtual PlcDiagnostics diagnostics(std::size_t plc) const = 0;
  // The text of a result code (empty when there is none).
  virtual std::string resultText(std::uint32_t code) const = 0;
};

}  // namespace zentarc
