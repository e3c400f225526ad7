#pragma once
// PLC addresses on the command line: one IPv4 address, or a run of them that differ in the
// last number only ("127.0.1.1-127.0.1.100", or short "127.0.1.1-100"), so that a plant of
// many PLCs is one option.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zentarc::plcsim {

// The addresses in order; nullopt, with a reason, for anything else.
std::optional<std::vector<std::string>> parseAddressRun(std::string_view text, std::string* error);

}  // namespace zentarc::plcsim
