#include "ItemText.h"

#include "editor/document/ConvertDataType.h"

namespace zentarc::editor {

std::string addressText(const clsPLCItem& item) {
  std::string s = item.sPLCName() + "/%R" + std::to_string(item.nDataWord());
  if (isBooleanType(item.sDataType())) s += "/bit" + std::to_string(item.nBitNumber());
  if (hasElements(item.sDataType())) s += "/len" + std::to_string(item.nElements());
  return s;
}

namespace {
std::string rightPadded(const std::string& zeros, const std::string& digits) {
  const std::string s = zeros + digits;
  return s.substr(s.size() - zeros.size());
}
}  // namespace

std::string addressSortKey(const clsPLCItem& item) {
  return rightPadded("000000", std::to_string(item.nDataWord())) +
         rightPadded("00", std::to_string(item.nBitNumber()));
}

}  // namespace zentarc::editor
