#include "DuplicatePlc.h"

#include <unordered_set>

#include "editor/document/ItemRules.h"
#include "editor/document/KeySpace.h"

namespace zentarc::editor {

std::string checkDuplicate(const EditorState& state, const DuplicateRequest& r) {
  if (const auto fault = nameFault(r.newName); fault != configfile::NameFault::None)
    return invalidNameMessage("PLC", fault);
  if (plcNameExists(state, r.newName) || isTreeKeyTaken(state, r.newName))
    return "Name already existing. Please use a different PLC name";
  if (const std::string problem = plcAddressProblem(r.newAddress); !problem.empty()) return problem;
  if (plcAddressExists(state, r.newAddress)) return "PLC ID already existing. Please use a different one";
  std::unordered_set<std::string> taken{foldCase(r.newName)};
  for (const std::string& item : r.sourceItems) {
    const std::string name = item + r.suffix;
    if (const auto fault = nameFault(name); fault != configfile::NameFault::None)
      return invalidNameMessage("Item", fault);
    if (isTreeKeyTaken(state, name) || !taken.insert(foldCase(name)).second)
      return "Name already existing. Please use a different suffix (\"" + name + "\" is taken)";
  }
  return {};
}

std::vector<std::string> addDuplicate(EditorState& state, const DuplicateRequest& r) {
  clsPLC plc;
  plc.setName(r.newName);
  plc.setUI(r.newAddress);
  state.colPLC->Add(std::move(plc), r.newName);
  std::vector<std::string> names;
  names.reserve(r.sourceItems.size());
  for (const std::string& source : r.sourceItems) {
    clsPLCItem copy = state.colItems->Item(source);
    copy.sName(source + r.suffix);
    copy.sPLCName(r.newName);
    names.push_back(copy.sName());
    state.colItems->Add(std::move(copy), names.back());
  }
  return names;
}

}  // namespace zentarc::editor
