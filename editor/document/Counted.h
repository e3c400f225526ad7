#pragma once
// Counts in messages: "1 PLC", "2 PLCs".
#include <cstddef>
#include <string>

namespace zentarc::editor {

inline std::string counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace zentarc::editor
