#pragma once
// The PLC address text from the configuration, turned into 4 address bytes.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zentarc::plc {

inline constexpr std::size_t kMaxAddressText = 15;

// Accepts only dotted decimal a.b.c.d (each part 1 to 3 digits, 0 to 255; a leading zero
// is read as decimal), at most 15 characters, and not 0.0.0.0 or 255.255.255.255, which no
// PLC can have. Anything else is nullopt, so no text can reach the socket layer unchecked.
std::optional<std::array<std::uint8_t, 4>> parseAddressText(std::string_view text);

}  // namespace zentarc::plc
