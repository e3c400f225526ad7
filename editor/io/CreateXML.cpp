#include "CreateXML.h"

#include "common/configfile/ConfigWriter.h"
#include "editor/document/ConvertDataType.h"
#include "editor/document/EditorError.h"
#include "editor/io/AtomicFile.h"

namespace zentarc::editor {

std::string buildConfigBytes(const std::vector<TreePlc>& tree, const EditorState& state) {
  if (!state.colPLC || !state.colItems)
    throw EditorError(ErrorNumber::ObjectNotSet, "No configuration is open. Open or create one first.");
  std::vector<configfile::WriterPlc> plcs;
  plcs.reserve(tree.size());
  for (const TreePlc& node : tree) {
    configfile::WriterPlc plc;
    plc.name = node.name;
    plc.address = state.colPLC->Item(node.name).getUI();
    plc.tags.reserve(node.items.size());
    for (const std::string& itemName : node.items) {
      const clsPLCItem& item = state.colItems->Item(itemName);
      configfile::WriterTag tag;
      tag.name = itemName;
      tag.comment = item.sComment();
      tag.typeName = ConvertDataType(item.sDataType());
      tag.bit = item.nBitNumber();
      tag.address = item.nDataWord();
      tag.elements = item.nElements();
      tag.access = item.sAccessRight();
      tag.memory = item.sMemory();
      plc.tags.push_back(std::move(tag));
    }
    plcs.push_back(std::move(plc));
  }
  return configfile::writeConfig(plcs);
}

WriteOutcome CreateXML(const std::string& path, const std::vector<TreePlc>& tree,
                       const EditorState& state) {
  WriteOutcome out;
  std::string bytes;
  try {
    bytes = buildConfigBytes(tree, state);
  } catch (const EditorError& e) {
    out.errorNumber = e.number();
    out.description = e.what();
    return out;
  }
  std::string error;
  if (!writeFileAtomically(path, bytes, &error)) {
    out.errorNumber = static_cast<int>(ErrorNumber::FileWrite);
    out.description = "The configuration was not saved (" + error +
                      "); the old file is unchanged. Save it under another name or in a folder you may write to.";
    return out;
  }
  out.ok = true;
  return out;
}

}  // namespace zentarc::editor
