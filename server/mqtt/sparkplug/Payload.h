#pragma once
// A Sparkplug B payload as plain values, and its protobuf encoding both ways. The session
// builds births, data and deaths from these; commands a host sends come back as these.
// Nothing outside this folder sees the protobuf classes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "server/mqtt/sparkplug/DataTypes.h"

namespace zentarc::mqtt::sparkplug {

// A metric's value; the datatype says how it goes on the wire. Tag values stay the toolkit's
// variants (scalars and arrays); the node's and PLCs' figures use the plain kinds. Decoding
// gives integers as std::int64_t for the signed datatypes and std::uint64_t for the others,
// and arrays as variants. monostate: no value (or none that could be read).
using MetricValue = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, float, double, std::string,
                                 SOCmnVariant>;

struct Metric {
  std::string name;                   // empty: the alias alone names it
  std::optional<std::uint64_t> alias;
  DataType datatype = DataType::Unknown;
  std::optional<std::uint64_t> timestamp;  // ms since 1970, UTC
  bool isNull = false;
  bool isHistorical = false;
  std::optional<std::int32_t> quality;     // the Quality property, sent when not good
  MetricValue value;
};

struct Payload {
  std::optional<std::uint64_t> timestamp;  // ms since 1970, UTC
  std::optional<std::uint64_t> seq;
  std::vector<Metric> metrics;
};

// The protobuf encoding. A value that does not fit its datatype (a string for an Int16, an
// array of other elements) goes out as null rather than as something the host would misread.
std::string encodePayload(const Payload& payload);

// What a peer may make us decode: the message's size, its metric count, and the elements of
// one array, each checked before anything is allocated for it. The defaults are what a
// host's command may hold.
struct DecodeLimits {
  std::size_t maxBytes = 1u << 20;
  std::size_t maxMetrics = 10000;
  std::uint32_t maxArrayElements = 65536;
};

// False with a reason when the bytes are no Sparkplug B payload or exceed the limits. A
// metric whose value cannot be read (an unknown datatype, a malformed array) is kept with a
// monostate value, so the others of the message still count.
bool decodePayload(std::string_view bytes, Payload& out, std::string& error, const DecodeLimits& limits = {});

}  // namespace zentarc::mqtt::sparkplug
