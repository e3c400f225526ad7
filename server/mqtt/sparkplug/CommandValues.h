#pragma once
// A value a host commands (a DCMD metric) as the value of a tag, checked as an OPC UA Write
// is: a value of another kind (text for a number, a number for a Boolean, an array of other
// elements or another length) is BadTypeMismatch; a number the tag's type cannot hold, or a
// character the PLC cannot store (above U+00FF), is BadOutOfRange. Integers of any integer
// datatype are taken by value, since hosts send what their own tag type holds.
#include <cstdint>
#include <string_view>

#include "server/mqtt/sparkplug/Payload.h"

namespace zentarc::mqtt::sparkplug {

// Empty on success (`out` holds the value), else the status name of the refusal. `count`
// is the element count of an array type.
std::string_view toTagValue(const Metric& metric, VARTYPE type, std::uint32_t count, SOCmnVariant& out);

}  // namespace zentarc::mqtt::sparkplug
