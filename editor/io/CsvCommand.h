#pragma once
// The editor's command-line mode for scripts; no window opens.
//   ConfigOPCZentarc --import-csv TAGS.csv --output FILE.xml [--base FILE.xml] [--partial]
//   ConfigOPCZentarc --export-csv FILE.xml --output TAGS.csv [--partial]
// Exit status: 0 every row (or tag) taken; 1 some refused, listed on standard error, and
// nothing written unless --partial; 2 the input cannot be read, the command line is wrong
// or the output cannot be written.
#include <ostream>
#include <string>
#include <vector>

namespace zentarc::editor {

inline constexpr int kCsvAllTaken = 0;
inline constexpr int kCsvSomeRefused = 1;
inline constexpr int kCsvFailed = 2;

// True when the arguments ask for the command-line mode.
bool isCsvCommand(const std::vector<std::string>& args);

// args without the program name.
int runCsvCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zentarc::editor
