#pragma once
// Values pasted from the system clipboard (typically a spreadsheet column): one value per
// line; a line ends with CR LF, LF or CR, whichever program put the text there. Text after
// the last line end is ignored; without any line end the whole text is one value. So no
// value ever holds a line break.
#include <string>
#include <string_view>
#include <vector>

namespace zentarc::editor {

std::vector<std::string> splitClipboardLines(std::string_view text);

}  // namespace zentarc::editor
