#pragma once
// Keys of the editor's collections and of its tree compare without regard to letter case.
#include <string>
#include <string_view>

namespace zentarc::editor {

// Folds ASCII and Latin-1 letters of a UTF-8 text to lower case; other bytes stay. The
// same folding decides whether the server takes two tag names for one.
std::string foldCase(std::string_view utf8);

inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return foldCase(a) == foldCase(b);
}

}  // namespace zentarc::editor
