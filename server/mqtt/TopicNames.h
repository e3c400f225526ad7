#pragma once
// Names as MQTT topic levels. A PLC or tag name is one level whatever it holds: '/', '+',
// '#', '%', control characters (C0, DEL and C1) and a leading '$' are written as %XX (the
// UTF-8 bytes, upper-case hex), so a name never splits a level, never reads as a wildcard,
// and a tag called "$state" never meets its PLC's $state topic. Everything else stays as it
// is, so plain names read plainly.
#include <string>
#include <string_view>

namespace zentarc::mqtt {

std::string encodeTopicLevel(std::string_view name);

// The reverse, for consumers and tests: %XX back to its byte; other text unchanged.
std::string decodeTopicLevel(std::string_view level);

}  // namespace zentarc::mqtt
