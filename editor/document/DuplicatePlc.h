#pragma once
// "Duplicate PLC with Items": a new PLC with its own name and address and a copy of every
// item of another PLC, each named with a suffix. Everything is checked before anything
// is added, so a refused duplicate leaves the configuration as it was.
#include <string>
#include <vector>

#include "editor/document/EditorState.h"

namespace zentarc::editor {

struct DuplicateRequest {
  std::string sourcePlc;
  std::vector<std::string> sourceItems;  // in the order the copies are added
  std::string newName;
  std::string newAddress;
  std::string suffix;
};

// The message to show (in the PLC dialog's words for the name and address), or "" when
// the duplicate can be made.
std::string checkDuplicate(const EditorState& state, const DuplicateRequest& request);

// Adds the PLC and the copies to the collections; call only after checkDuplicate passed.
// Returns the new items' names in order.
std::vector<std::string> addDuplicate(EditorState& state, const DuplicateRequest& request);

}  // namespace zentarc::editor
