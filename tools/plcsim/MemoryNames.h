#pragma once
// Memory names on the command line, as the configured addresses count them: R1 is the first
// register (index 0), AI5 the fifth analog input word, I17 the seventeenth input bit. The
// area's letters in any case, with an optional '%'.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/configfile/MemoryArea.h"

namespace zentarc::plcsim {

using configfile::MemoryArea;

struct MemoryName {
  MemoryArea area = MemoryArea::R;
  std::uint16_t index = 0;  // 0-based word or bit
};

struct MemoryRange {
  MemoryArea area = MemoryArea::R;
  std::uint16_t first = 0;  // 0-based, inclusive
  std::uint16_t last = 0;
  std::size_t count() const { return static_cast<std::size_t>(last) - first + 1; }
};

struct MemoryAssignment {
  MemoryArea area = MemoryArea::R;
  std::uint16_t index = 0;
  std::uint16_t value = 0;  // a word, or 0/1 for a bit
};

// "<area><n>", n from 1 to 65536, to its 0-based index.
std::optional<MemoryName> parseMemoryName(std::string_view text);
// "AI1" or "AI1-AI4" (one area, first <= last).
std::optional<MemoryRange> parseMemoryRange(std::string_view text, std::string* error);
// "AI5=100" (words: -32768 to 65535, negative values as two's complement) or "I17=1" (bits: 0 or 1).
std::optional<MemoryAssignment> parseMemoryAssignment(std::string_view text, std::string* error);

}  // namespace zentarc::plcsim
