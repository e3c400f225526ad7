#include "tools/plcsim/AddressRange.h"

#include <array>
#include <cstdint>

#include "server/plc/AddressText.h"

namespace zentarc::plcsim {

namespace {

std::string dotted(const std::array<std::uint8_t, 4>& a) {
  return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

bool fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

std::optional<std::vector<std::string>> parseAddressRun(std::string_view text, std::string* error) {
  const std::string quoted = "'" + std::string(text) + "'";
  const auto dash = text.find('-');
  const auto first = plc::parseAddressText(text.substr(0, dash));
  if (!first) {
    fail(error, quoted + " is not an IPv4 address or a run A-B of them");
    return std::nullopt;
  }
  if (dash == std::string_view::npos) return std::vector<std::string>{dotted(*first)};
  std::array<std::uint8_t, 4> last = *first;
  const std::string_view end = text.substr(dash + 1);
  if (const auto full = plc::parseAddressText(end)) {
    last = *full;
  } else {
    unsigned n = 0;
    bool digits = !end.empty() && end.size() <= 3;
    for (char c : end) digits = digits && c >= '0' && c <= '9';
    if (digits) for (char c : end) n = n * 10 + static_cast<unsigned>(c - '0');
    if (!digits || n > 255) {
      fail(error, quoted + ": the run must end in an address or in its last number");
      return std::nullopt;
    }
    last[3] = static_cast<std::uint8_t>(n);
  }
  if (last[0] != (*first)[0] || last[1] != (*first)[1] || last[2] != (*first)[2] || last[3] < (*first)[3]) {
    fail(error, quoted + ": a run differs in the last number only and counts upwards");
    return std::nullopt;
  }
  std::vector<std::string> out;
  for (unsigned i = (*first)[3]; i <= last[3]; ++i) {
    std::array<std::uint8_t, 4> a = *first;
    a[3] = static_cast<std::uint8_t>(i);
    out.push_back(dotted(a));
  }
  return out;
}

}  // namespace zentarc::plcsim
