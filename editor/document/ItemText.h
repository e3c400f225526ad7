#pragma once
// Texts shown for an item in the list: its address and its sort key.
#include <string>

#include "editor/document/clsPLCItem.h"

namespace zentarc::editor {

// "P1/%R120/bit3", "P1/%R40/len10", "P1/%R7/bit2/len5", "P1/%AI17", "P1/%I17" (in a bit
// area the address names the bit).
std::string addressText(const clsPLCItem& item);

// Last six characters of "000000" + address, then the last two of "00" + bit.
std::string addressSortKey(const clsPLCItem& item);

}  // namespace zentarc::editor
