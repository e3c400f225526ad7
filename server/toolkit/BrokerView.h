#pragma once
// The MQTT side's figures as the other sides show them (OPC UA diagnostics, the status
// window): read from any thread, never waiting on the broker.
#include <cstdint>
#include <string>

namespace zentarc {

struct BrokerFigures {
  std::string url;          // the broker, as configured
  bool connected = false;
  std::uint64_t published = 0;  // messages the broker acknowledged
  std::uint64_t buffered = 0;   // messages waiting for the broker (queued or unacknowledged)
  std::uint64_t dropped = 0;    // oldest messages given up when the buffer was full
  std::string lastError;        // why the last connection failed or ended; empty when none
};

class BrokerView {
 public:
  virtual ~BrokerView() = default;
  virtual BrokerFigures figures() const = 0;
};

}  // namespace zentarc
