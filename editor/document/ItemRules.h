#pragma once
// The shared rule of a loadable tag, in the editor's own words: the messages its dialogs
// show, and the column a CSV report names.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/configfile/TagRules.h"
#include "editor/document/clsPLCItem.h"

namespace zentarc::editor {

// The largest element count the editor holds (a 16-bit signed number).
inline constexpr int kMaxEditorElements = 32767;

struct ItemProblem {
  std::string field;    // "Address", "Bit" or "Elements"
  std::string message;  // in the item dialog's words
};

// The item's memory area (R when it names none).
configfile::MemoryArea memoryAreaOf(const clsPLCItem& item);
// The bit number applies to the boolean types in the word areas; in a bit area the address
// names the bit.
bool usesBitNumber(const clsPLCItem& item);

// The %S, %SA, %SB and %SC bits are served read-only: the message for an item there that
// asks for write access, or "".
std::string readOnlyAreaProblem(const clsPLCItem& item);

// Problems of the item's numbers that would make the server skip it; empty when none.
std::vector<ItemProblem> itemValueProblems(const clsPLCItem& item);

// The message for a refused name of a PLC or an item: kind is "PLC" or "Item".
std::string invalidNameMessage(std::string_view kind, configfile::NameFault fault);

// Comments are free text and may run over several lines; tabs and line breaks are kept,
// other control characters (which the file cannot carry) are refused. The dialog, the bulk
// comment and the CSV import all apply this, so whatever is stored exports and imports back.
// The message to show, or "" when the comment may be stored.
std::string commentFault(std::string_view utf8);
// The comment as stored: CR LF and CR become LF, as the file gives them back when read.
std::string storedComment(std::string_view utf8);

// A PLC's IP address must be a dotted IPv4 address, as the server's loader requires: the
// message to show, or "" when the address may be stored.
std::string plcAddressProblem(std::string_view address);

// The fault of a name about to be set (empty, blanks only, control characters).
inline configfile::NameFault nameFault(std::string_view name) { return configfile::checkName(name); }

}  // namespace zentarc::editor
