#pragma once
// PLC names, item names and "PLCs" share one key space (the tree's), compared without
// regard to letter case. These checks refuse a name before anything is changed.
#include <string>
#include <string_view>

#include "editor/document/EditorState.h"

namespace zentarc::editor {

// True when name is empty, is "PLCs", or is the key of a PLC or an item other than the
// object now known under ownKey (ownKey empty: a new object).
bool isTreeKeyTaken(const EditorState& state, const std::string& name,
                    const std::string& ownKey = {});

// The dialogs' own duplicate tests: exact comparison, letter case included.
bool plcNameExists(const EditorState& state, std::string_view name);
bool plcAddressExists(const EditorState& state, std::string_view address);
bool itemNameExists(const EditorState& state, std::string_view name);

}  // namespace zentarc::editor
