#pragma once
// Writes the configuration file from the tree's order and the collections.
#include <string>
#include <vector>

#include "editor/document/EditorState.h"

namespace zentarc::editor {

// The PLC nodes of the tree in order, each with the texts of its item nodes in order.
struct TreePlc {
  std::string name;
  std::vector<std::string> items;
};

struct WriteOutcome {
  bool ok = false;
  int errorNumber = 0;
  std::string description;
};

// The bytes of the file, or throws EditorError when a node has no object behind it.
std::string buildConfigBytes(const std::vector<TreePlc>& tree, const EditorState& state);

// Builds and writes atomically; on failure the old file stays as it was.
WriteOutcome CreateXML(const std::string& path, const std::vector<TreePlc>& tree,
                       const EditorState& state);

}  // namespace zentarc::editor
