#pragma once
// Reads a configuration file into the collections. Reading stops at the first fault;
// what was read before it stays.
#include <cstddef>
#include <functional>
#include <string>

#include "editor/document/EditorState.h"

namespace zentarc::editor {

struct ImportOutcome {
  bool complete = false;   // the whole file was read
  int errorNumber = 0;
  std::string description;  // what stopped the reading, where, and what was kept
  std::size_t plcsRead = 0;
  std::size_t itemsRead = 0;
};

// progress receives 0..100, the share of the file's tags read so far, each time it changes.
ImportOutcome ImportXML(const std::string& path, EditorState& state,
                        const std::function<void(int)>& progress = {});

}  // namespace zentarc::editor
