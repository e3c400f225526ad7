#include "MemoryArea.h"

#include <cctype>

namespace zentarc::configfile {

const MemoryAreaEntry& memoryAreaEntry(MemoryArea area) {
  for (const MemoryAreaEntry& e : kMemoryAreas)
    if (e.area == area) return e;
  return kMemoryAreas[0];
}

std::optional<MemoryArea> memoryAreaForFileName(std::string_view name) {
  for (const MemoryAreaEntry& e : kMemoryAreas)
    if (e.name == name) return e.area;
  return std::nullopt;
}

std::optional<MemoryArea> memoryAreaForName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return memoryAreaForFileName(upper);
}

std::optional<AreaAddress> parseAreaAddress(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '%') ++i;
  const std::size_t letters = i;
  while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) ++i;
  const std::string_view name = text.substr(letters, i - letters);
  // A bare number is a %R address; a '%' must be followed by an area name.
  if (name.empty() && letters != 0) return std::nullopt;
  const std::optional<MemoryArea> area = name.empty() ? MemoryArea::R : memoryAreaForName(name);
  if (!area) return std::nullopt;
  const std::string_view digits = text.substr(i);
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  std::uint64_t number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (number < 1 || number > 65535) return std::nullopt;
  return AreaAddress{*area, static_cast<std::uint32_t>(number)};
}

std::string formatAreaAddress(MemoryArea area, std::uint32_t number) {
  return "%" + std::string(memoryAreaName(area)) + std::to_string(number);
}

}  // namespace zentarc::configfile
