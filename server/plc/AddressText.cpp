#include "server/plc/AddressText.h"

namespace zentarc::plc {

std::optional<std::array<std::uint8_t, 4>> parseAddressText(std::string_view text) {
  if (text.empty() || text.size() > kMaxAddressText) return std::nullopt;
  std::array<std::uint8_t, 4> bytes{};
  std::size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    unsigned value = 0;
    std::size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      if (++digits > 3) return std::nullopt;
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
    }
    if (digits == 0 || value > 255) return std::nullopt;
    bytes[part] = static_cast<std::uint8_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  const bool allZero = bytes == std::array<std::uint8_t, 4>{0, 0, 0, 0};
  const bool allOnes = bytes == std::array<std::uint8_t, 4>{255, 255, 255, 255};
  if (allZero || allOnes) return std::nullopt;
  return bytes;
}

}  // namespace zentarc::plc
