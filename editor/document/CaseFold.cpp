#include "CaseFold.h"

#include "common/configfile/TagRules.h"

namespace zentarc::editor {

std::string foldCase(std::string_view utf8) { return configfile::foldName(utf8); }

}  // namespace zentarc::editor
