#include "ClipboardText.h"

namespace zentarc::editor {

std::vector<std::string> splitClipboardLines(std::string_view text) {
  std::vector<std::string> values;
  std::size_t start = 0;
  for (std::size_t pos = text.find_first_of("\r\n"); pos != std::string_view::npos;
       pos = text.find_first_of("\r\n", start)) {
    values.emplace_back(text.substr(start, pos - start));
    start = pos + ((text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1);
  }
  if (values.empty()) values.emplace_back(text);
  return values;
}

}  // namespace zentarc::editor
