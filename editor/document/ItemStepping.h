#pragma once
// "Add and Increment": where the next item of the same type starts, given the address A,
// the element count E and the bit B of the item just added, in the unit of its memory area.
#include <optional>
#include <string_view>

#include "common/configfile/MemoryArea.h"

namespace zentarc::editor {

struct NextPosition {
  double address;
  std::optional<int> bit;  // set for the boolean types only
};

// Word areas (%R, %AI, %AQ) step by the table of the item dialog. Bit areas step by the
// bits the item occupies, and keep no bit number. Throws EditorError Overflow when B + E
// does not fit a 16-bit integer (boolean arrays in a word area).
NextPosition nextItemPosition(std::string_view displayType, double A, double E, int B,
                              configfile::MemoryArea area = configfile::MemoryArea::R);

}  // namespace zentarc::editor
