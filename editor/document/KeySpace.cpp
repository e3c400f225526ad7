#include "KeySpace.h"

namespace zentarc::editor {

bool isTreeKeyTaken(const EditorState& state, const std::string& name, const std::string& ownKey) {
  if (name.empty() || equalsIgnoreCase(name, kPlcsKey)) return true;
  // The object's own entry does not count: renaming "abc" to "ABC" is allowed.
  if (!ownKey.empty() && equalsIgnoreCase(name, ownKey)) return false;
  if (state.colPLC && state.colPLC->contains(name)) return true;
  if (state.colItems && state.colItems->contains(name)) return true;
  return false;
}

bool plcNameExists(const EditorState& state, std::string_view name) {
  if (!state.colPLC) return false;
  for (const clsPLC& p : *state.colPLC)
    if (p.getName() == name) return true;
  return false;
}

bool plcAddressExists(const EditorState& state, std::string_view address) {
  if (!state.colPLC) return false;
  for (const clsPLC& p : *state.colPLC)
    if (p.getUI() == address) return true;
  return false;
}

bool itemNameExists(const EditorState& state, std::string_view name) {
  if (!state.colItems) return false;
  for (const clsPLCItem& i : *state.colItems)
    if (i.sName() == name) return true;
  return false;
}

}  // namespace zentarc::editor
