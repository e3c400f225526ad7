#include "EditorError.h"

namespace zentarc::editor {

std::string errorReportText(int number, const std::string& description) {
  return " Error n. " + std::to_string(number) + "  " + description;
}

}  // namespace zentarc::editor
