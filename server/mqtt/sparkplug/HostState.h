#pragma once
// A primary host application's STATE (Sparkplug 3.0): spBv1.0/STATE/<host>, retained, the
// JSON {"online": true|false, "timestamp": <ms since 1970>}.
#include <cstdint>
#include <string>
#include <string_view>

namespace zentarc::mqtt::sparkplug {

struct HostState {
  bool online = false;
  std::uint64_t timestamp = 0;
};

// False with a reason for a payload that is no such object.
bool parseHostState(std::string_view payload, HostState& out, std::string& error);

}  // namespace zentarc::mqtt::sparkplug
