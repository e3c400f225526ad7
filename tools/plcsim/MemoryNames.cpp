#include "tools/plcsim/MemoryNames.h"

#include <cctype>
#include <charconv>

namespace zentarc::plcsim {

std::optional<MemoryName> parseMemoryName(std::string_view text) {
  if (!text.empty() && text.front() == '%') text.remove_prefix(1);
  std::size_t letters = 0;
  while (letters < text.size() && std::isalpha(static_cast<unsigned char>(text[letters]))) ++letters;
  if (letters == 0 || letters == text.size()) return std::nullopt;
  const auto area = configfile::memoryAreaForName(text.substr(0, letters));
  if (!area) return std::nullopt;
  unsigned number = 0;
  const char* begin = text.data() + letters;
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(begin, end, number);
  if (ec != std::errc() || stop != end || number < 1 || number > 65536) return std::nullopt;
  return MemoryName{*area, static_cast<std::uint16_t>(number - 1)};
}

std::optional<MemoryRange> parseMemoryRange(std::string_view text, std::string* error) {
  const auto dash = text.find('-');
  const auto first = parseMemoryName(text.substr(0, dash));
  const auto last = dash == std::string_view::npos ? first : parseMemoryName(text.substr(dash + 1));
  if (!first || !last || last->area != first->area || last->index < first->index) {
    if (error) *error = "'" + std::string(text) + "' is not a range like R1, R1-R10, AI1-AI4 or I1-I16";
    return std::nullopt;
  }
  return MemoryRange{first->area, first->index, last->index};
}

std::optional<MemoryAssignment> parseMemoryAssignment(std::string_view text, std::string* error) {
  const auto eq = text.find('=');
  const auto name = parseMemoryName(text.substr(0, eq));
  int value = 0;
  bool valueOk = false;
  if (name && eq != std::string_view::npos) {
    const char* begin = text.data() + eq + 1;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(begin, end, value);
    valueOk = begin != end && ec == std::errc() && stop == end;
    if (configfile::isBitArea(name->area)) valueOk = valueOk && (value == 0 || value == 1);
    else valueOk = valueOk && value >= -32768 && value <= 65535;
  }
  if (!name || !valueOk) {
    if (error)
      *error = "'" + std::string(text) +
               "' is not like R1=42 or I17=1 (words from -32768 to 65535, bits 0 or 1, numbers from 1 to 65536)";
    return std::nullopt;
  }
  return MemoryAssignment{name->area, name->index, static_cast<std::uint16_t>(value)};
}

}  // namespace zentarc::plcsim
