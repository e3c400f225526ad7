#include "EditorError.h"

namespace zentarc::editor {

std::string errorReportText(int number, const std::string& description,
                            const std::string& procedure) {
  return " Error n. " + std::to_string(number) + "  " + description + " in " + procedure;
}

}  // namespace zentarc::editor
