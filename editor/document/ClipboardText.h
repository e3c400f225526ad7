#pragma once
// Values pasted from the system clipboard (typically a spreadsheet column): one value per
// line ended by CR LF; text after the last CR LF is ignored; without any CR LF the whole
// text is one value.
#include <string>
#include <string_view>
#include <vector>

namespace zentarc::editor {

std::vector<std::string> splitClipboardLines(std::string_view text);

}  // namespace zentarc::editor
