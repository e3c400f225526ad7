#include "ItemText.h"

#include "editor/document/ConvertDataType.h"
#include "editor/document/ItemRules.h"

namespace zentarc::editor {

std::string addressText(const clsPLCItem& item) {
  std::string s = item.sPLCName() + "/%" + std::string(configfile::memoryAreaName(memoryAreaOf(item))) +
                  std::to_string(item.nDataWord());
  if (usesBitNumber(item)) s += "/bit" + std::to_string(item.nBitNumber());
  if (hasElements(item.sDataType())) s += "/len" + std::to_string(item.nElements());
  return s;
}

namespace {
std::string rightPadded(const std::string& zeros, const std::string& digits) {
  const std::string s = zeros + digits;
  return s.substr(s.size() - zeros.size());
}
}  // namespace

// %R keys are bare numbers; other areas' keys begin with the area's name, so each area
// sorts as a block after %R.
std::string addressSortKey(const clsPLCItem& item) {
  const configfile::MemoryArea area = memoryAreaOf(item);
  return (area == configfile::MemoryArea::R ? std::string() : std::string(configfile::memoryAreaName(area))) +
         rightPadded("000000", std::to_string(item.nDataWord())) + rightPadded("00", std::to_string(item.nBitNumber()));
}

}  // namespace zentarc::editor
