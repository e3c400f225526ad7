#include "ItemRules.h"

#include "common/configfile/DataTypes.h"

namespace zentarc::editor {

namespace cf = configfile;

std::vector<ItemProblem> itemValueProblems(const clsPLCItem& item) {
  const cf::DataTypeEntry* type = cf::findByDisplayName(item.sDataType());
  const cf::TagNumbers numbers{type ? type->code : std::uint16_t{0}, item.nDataWord(), item.nBitNumber(),
                               item.nElements()};
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
      case cf::TagFault::PastLastRegister:
        problems.push_back({"Address", "Invalid Address value: the item's registers run past register " +
                                           std::to_string(cf::kLastRegisterNumber)});
        break;
    }
  }
  return problems;
}

std::string invalidNameMessage(std::string_view kind, cf::NameFault fault) {
  if (fault == cf::NameFault::Control)
    return "Invalid " + std::string(kind) + " name: it holds a line break or another control character";
  return "Empty fields. Check " + std::string(kind) + " name";
}

}  // namespace zentarc::editor
