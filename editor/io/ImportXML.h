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
  bool parsed = false;     // the file could be opened and is XML (some of it may be read)
  int errorNumber = 0;
  std::string description;  // what stopped the reading, where, and what was kept
  std::size_t plcsRead = 0;
  std::size_t itemsRead = 0;
  std::size_t plcsInFile = 0;   // PLC and tag elements the reading walks, read or not
  std::size_t itemsInFile = 0;
  std::size_t stopLine = 0;     // the line of what stopped the reading (0: none)
};

// "2 PLCs and 15 items" (what the file holds beyond what was read), for messages.
std::string unreadPartText(const ImportOutcome& out);

// progress receives 0..100, the share of the file's tags read so far, each time it changes.
ImportOutcome ImportXML(const std::string& path, EditorState& state,
                        const std::function<void(int)>& progress = {});

}  // namespace zentarc::editor
