#pragma once
// Tag values in JSON, both ways. Out: numbers, true/false, strings (the PLC's 8-bit
// characters, Latin-1, without the NUL padding after the text, as OPC UA shows them) and
// arrays; float NaN and infinities as "NaN", "Infinity", "-Infinity". In: a value a client
// writes, checked against the tag's type as an OPC UA Write is: another kind of value, a
// fraction for an integer, or an array of another length is BadTypeMismatch; a number the
// type cannot hold or a character above U+00FF is BadOutOfRange.
#include <cstdint>
#include <string>
#include <string_view>

#include "server/mqtt/JsonText.h"
#include "server/toolkit/SOCmnVariant.h"

namespace zentarc::mqtt {

void appendTagValue(std::string& out, const SOCmnVariant& value);

// Empty on success (`out` holds the value), else the status name of the refusal. `count` is
// the element count of an array type.
std::string_view toTagValue(const json::Value& value, VARTYPE type, std::uint32_t count, SOCmnVariant& out);

}  // namespace zentarc::mqtt
