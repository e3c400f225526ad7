#include "PlcAddressRule.h"

#include <string>

namespace zentarc::configfile {

bool isDottedIpv4(std::string_view text) {
  int parts = 0;
  std::size_t i = 0;
  while (true) {
    std::size_t digits = 0;
    unsigned value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    ++parts;
    if (i == text.size()) return parts == 4;
    if (text[i] != '.' || parts == 4) return false;
    ++i;
  }
}

std::string plcAddressFaultText(std::string_view text) {
  if (text.empty()) return "the IP address is empty";
  return "the IP address \"" + std::string(text) + "\" is not a dotted IPv4 address (four numbers 0 to 255)";
}

}  // namespace zentarc::configfile
