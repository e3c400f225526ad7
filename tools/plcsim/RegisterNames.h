#pragma once
// Register names on the command line: R1 is the first register (index 0), as the
// configured addresses count them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentarc::plcsim {

struct RegisterRange {
  std::uint16_t first = 0;  // 0-based, inclusive
  std::uint16_t last = 0;
  std::size_t count() const { return static_cast<std::size_t>(last) - first + 1; }
};

struct RegisterAssignment {
  std::uint16_t index = 0;
  std::uint16_t value = 0;
};

// "R<n>", n from 1 to 65536, to its 0-based index.
std::optional<std::uint16_t> parseRegisterName(std::string_view text);
// "R<a>" or "R<a>-R<b>" with a <= b.
std::optional<RegisterRange> parseRegisterRange(std::string_view text, std::string* error);
// "R<n>=V", V from -32768 to 65535 (negative values as two's complement).
std::optional<RegisterAssignment> parseRegisterAssignment(std::string_view text, std::string* error);

}  // namespace zentarc::plcsim
