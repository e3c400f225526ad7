#pragma once
// A PLC's state and figures as its worker last left them. The worker publishes a copy after
// every change; anyone may read it at any time without waiting on the PLC.
#include <chrono>
#include <cstdint>

#include "server/plc/ResultCodes.h"

namespace zentarc {

enum class PlcState {
  Idle,        // nothing to poll and no failure outstanding
  Connecting,  // something to poll, and no answer yet since the start
  Working,  // the last message succeeded
  Failing,  // the last message failed; the next try comes at once or after a short pause
  Demoted,  // failed again and again: tried only after a growing back-off
};

// "idle", "connecting", "working", "failing", "demoted".
const char* plcStateName(PlcState state);

struct PlcStatus {
  PlcState state = PlcState::Idle;
  bool connected = false;
  plc::ResultCode lastResultCode = plc::kOk;
  // When the state or the result code last changed.
  std::chrono::system_clock::time_point lastChange{};
  // While failing or demoted: when the next try is due; the epoch when no try is scheduled
  // (nothing to poll: the next request tries).
  std::chrono::system_clock::time_point nextTry{};
  std::uint64_t messagesSent = 0;    // requests and handshake messages
  std::uint64_t messagesFailed = 0;  // of those, failed (and failed connects)
  std::uint64_t reconnects = 0;      // connections made after the first
  std::uint32_t scanPeriodMs = 0;    // the last full pass over its cyclic blocks
  std::uint32_t polledBlocks = 0;
  std::uint32_t polledTags = 0;
  // Failures that began within the last minute, as of the last report to the sink (a PLC
  // that flaps is reported with this count rather than at every failure).
  std::uint32_t failuresLastMinute = 0;
};

}  // namespace zentarc
