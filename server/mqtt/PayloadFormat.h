#pragma once
// A payload format: what the MQTT side's topics are called, what their payloads hold, and
// how a write a client sends is read. The publisher keeps the connection, the polling, the
// buffer and the write requests; a format only turns states into messages and messages
// into write commands, so another format can take the JSON one's place.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "server/toolkit/PlantView.h"
#include "server/toolkit/SODaSCache.h"
#include "server/toolkit/SODaSTag.h"

namespace zentarc::mqtt {

using WallTime = std::chrono::system_clock::time_point;
inline constexpr std::size_t kNoTag = std::numeric_limits<std::size_t>::max();

// A tag the MQTT side publishes; its index in the plant is how formats and publisher name it.
struct PublishedTag {
  SOCmnPointer<SODaSTag> tag;
  std::size_t plc = 0;  // index into PublishedPlant::plcs
  VARTYPE type = VT_EMPTY;
  std::uint32_t count = 0;  // array elements (0 for scalars and strings)
  bool readable = false;
  bool writable = false;
};

struct PublishedPlant {
  std::vector<std::string> plcs;  // names, in configuration order
  std::vector<PublishedTag> tags;
};

// The tags of the namespace that have a PLC and a type clients know, in load order.
PublishedPlant collectPlant(const std::vector<SOCmnPointer<SODaSTag>>& tags, const PlantView* plant);

struct Outgoing {
  std::string topic;
  std::string payload;
  bool retained = false;
  int qos = 1;
};

struct TagState {
  std::size_t tag = 0;
  SODaSCacheSnapshot snapshot;  // ignored for a tag that is not readable
};

struct PlcState {
  PlcDiagnostics diagnostics;
  std::string resultText;  // the last result's text; empty when it is 0
};

// A write a client asked for, as far as the format could read it.
struct WriteCommand {
  std::size_t tag = kNoTag;  // kNoTag: the topic names no tag
  std::string status;        // empty: `value` is what to write; else why it cannot be
  SOCmnVariant value;
  std::string idJson;        // the request's "id", as JSON text; empty when it had none
  std::string resultTopic;   // where the outcome goes; empty: nowhere
};

class PayloadFormat {
 public:
  virtual ~PayloadFormat() = default;

  // Stable across restarts, so the broker keeps this server's session.
  virtual std::string clientId() const = 0;
  // The node's own state: online after connecting, offline when it leaves (also the will).
  virtual Outgoing nodeState(bool online) const = 0;
  // Messages for these tags' states, in order; `now` stamps what has no time of its own.
  virtual void tagStates(std::span<const TagState> states, WallTime now, std::vector<Outgoing>& out) = 0;
  virtual void plcState(std::size_t plc, const PlcState& state, WallTime now, std::vector<Outgoing>& out) = 0;

  // Topic filters that carry writes, subscribed only while writes are on.
  virtual std::vector<std::string> writeFilters() const = 0;
  virtual WriteCommand decodeWrite(std::string_view topic, std::string_view payload) const = 0;
  virtual Outgoing writeResult(const WriteCommand& command, std::string_view status, WallTime now) const = 0;
};

}  // namespace zentarc::mqtt
