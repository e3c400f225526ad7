#include "ItemRules.h"

#include <algorithm>

#include "common/configfile/DataTypes.h"
#include "common/configfile/PlcAddressRule.h"
#include "editor/document/ConvertDataType.h"

namespace zentarc::editor {

namespace cf = configfile;

cf::MemoryArea memoryAreaOf(const clsPLCItem& item) {
  return cf::memoryAreaForFileName(item.sMemory()).value_or(cf::MemoryArea::R);
}

bool usesBitNumber(const clsPLCItem& item) {
  return isBooleanType(item.sDataType()) && !cf::isBitArea(memoryAreaOf(item));
}

std::string readOnlyAreaProblem(const clsPLCItem& item) {
  if (!cf::isReadOnlyArea(memoryAreaOf(item)) || item.sAccessRight() == "READ") return {};
  return "Invalid Access Right: the system status bits (%S, %SA, %SB, %SC) are read-only; choose READ";
}

std::vector<ItemProblem> itemValueProblems(const clsPLCItem& item) {
  const cf::DataTypeEntry* type = cf::findByDisplayName(item.sDataType());
  const cf::MemoryArea area = memoryAreaOf(item);
  const cf::TagNumbers numbers{type ? type->code : std::uint16_t{0}, item.nDataWord(), item.nBitNumber(),
                               item.nElements(), area};
  std::vector<ItemProblem> problems;
  for (const cf::TagFault fault : cf::checkTagNumbers(numbers)) {
    switch (fault) {
      case cf::TagFault::AddressOutOfRange:
        problems.push_back({"Address", "Invalid Address value: the server reads addresses from 1 to 65535"});
        break;
      case cf::TagFault::BitOutOfRange:
      case cf::TagFault::BooleanBitAbove15:
        problems.push_back({"Bit", "Invalid Bit value: must be between 0 and 15"});
        break;
      case cf::TagFault::ElementsOutOfRange:
        problems.push_back({"Elements", "Invalid number of Elements: must be between 0 and " +
                                            std::to_string(kMaxEditorElements)});
        break;
      case cf::TagFault::NotByteAligned:
        problems.push_back({"Address", "Invalid Address value: in a bit area this type starts on a byte "
                                       "(address 1, 9, 17, ...)"});
        break;
      case cf::TagFault::BitInBitArea:
        problems.push_back({"Bit", "Invalid Bit value: in a bit area the address names the bit, so the bit "
                                   "number must be 0"});
        break;
      case cf::TagFault::PastLastRegister:
        problems.push_back(
            {"Address", area == cf::MemoryArea::R
                            ? "Invalid Address value: the item's registers run past register " +
                                  std::to_string(cf::kLastRegisterNumber)
                            : "Invalid Address value: the item runs past " +
                                  cf::formatAreaAddress(area, cf::kLastRegisterNumber)});
        break;
    }
  }
  return problems;
}

std::string commentFault(std::string_view utf8) {
  std::size_t start = 0;
  while (start <= utf8.size()) {
    const std::size_t end = std::min(utf8.find_first_of("\t\r\n", start), utf8.size());
    if (cf::checkName(utf8.substr(start, end - start)) == cf::NameFault::Control)
      return "Invalid Comment: it holds a control character (only tabs and line breaks may stand in a comment)";
    start = end + 1;
  }
  return {};
}

std::string storedComment(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] != '\r') {
      out += utf8[i];
      continue;
    }
    out += '\n';
    if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
  }
  return out;
}

std::string plcAddressProblem(std::string_view address) {
  if (cf::isDottedIpv4(address)) return {};
  return "Invalid PLC IP Address: " + cf::plcAddressFaultText(address);
}

std::string invalidNameMessage(std::string_view kind, cf::NameFault fault) {
  if (fault == cf::NameFault::Control)
    return "Invalid " + std::string(kind) + " name: it holds a line break or another control character";
  return "Empty fields. Check " + std::string(kind) + " name";
}

}  // namespace zentarc::editor
