#include "tools/plcsim/RegisterNames.h"

#include <charconv>

namespace zentarc::plcsim {

std::optional<std::uint16_t> parseRegisterName(std::string_view text) {
  if (text.size() < 2 || (text[0] != 'R' && text[0] != 'r')) return std::nullopt;
  unsigned number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data() + 1, end, number);
  if (ec != std::errc() || stop != end || number < 1 || number > 65536) return std::nullopt;
  return static_cast<std::uint16_t>(number - 1);
}

std::optional<RegisterRange> parseRegisterRange(std::string_view text, std::string* error) {
  const auto dash = text.find('-');
  const auto first = parseRegisterName(text.substr(0, dash));
  const auto last = dash == std::string_view::npos ? first : parseRegisterName(text.substr(dash + 1));
  if (!first || !last || *last < *first) {
    if (error) *error = "'" + std::string(text) + "' is not a register range like R1 or R1-R10";
    return std::nullopt;
  }
  return RegisterRange{*first, *last};
}

std::optional<RegisterAssignment> parseRegisterAssignment(std::string_view text, std::string* error) {
  const auto eq = text.find('=');
  const auto index = parseRegisterName(text.substr(0, eq));
  int value = 0;
  bool valueOk = false;
  if (eq != std::string_view::npos) {
    const char* begin = text.data() + eq + 1;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(begin, end, value);
    valueOk = begin != end && ec == std::errc() && stop == end && value >= -32768 && value <= 65535;
  }
  if (!index || !valueOk) {
    if (error)
      *error = "'" + std::string(text) + "' is not like R1=42 (registers R1 to R65536, values -32768 to 65535)";
    return std::nullopt;
  }
  return RegisterAssignment{*index, static_cast<std::uint16_t>(value)};
}

}  // namespace zentarc::plcsim
