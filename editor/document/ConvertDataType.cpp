#include "ConvertDataType.h"

#include "common/configfile/DataTypes.h"

namespace zentarc::editor {

std::string ConvertDataType(std::string_view tipo) {
  if (const auto* e = configfile::findByDisplayName(tipo)) return std::string(e->fileName);
  if (const auto* e = configfile::findByFileName(tipo)) return std::string(e->displayName);
  return {};
}

std::string baseTypeName(std::string_view display) {
  const auto pos = display.find(" array");
  return std::string(pos == std::string_view::npos ? display : display.substr(0, pos));
}

}  // namespace zentarc::editor
