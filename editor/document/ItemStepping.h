#pragma once
// "Add and Increment": where the next item of the same type starts, given the address A,
// the element count E and the bit B of the item just added.
#include <optional>
#include <string_view>

namespace zentarc::editor {

struct NextPosition {
  double address;
  std::optional<int> bit;  // set for the boolean types only
};

// Throws EditorError Overflow when B + E does not fit a 16-bit integer (boolean arrays).
NextPosition nextItemPosition(std::string_view displayType, double A, double E, int B);

}  // namespace zentarc::editor
