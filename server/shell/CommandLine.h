#pragma once
// The server's command line: the registration switches (one '-' or '/', then the whole
// rest compared without regard to case) and the program's own options, which begin with
// "--" so that they never read as a switch.
#include <optional>
#include <string>
#include <vector>

namespace zentarc::shell {

enum class Switch { None, RegServer, UnregServer, Embedding };

struct CommandLine {
  Switch action = Switch::None;
  std::string switchText;                // the words read for the switch, joined by blanks
  std::optional<std::string> endpoint;   // --endpoint URL
  std::optional<std::string> configFile; // --config PATH
  std::optional<std::string> checkConfig; // --check-config PATH: check the file, serve nothing
  bool headless = false;                 // --headless
  bool help = false;                     // --help
  std::vector<std::string> notices;      // options not known: reported, then ignored
  std::string error;                     // not empty: the command line cannot be used
};

// args without the program name.
CommandLine parseCommandLine(const std::vector<std::string>& args);
// The switch of a command line text ("-RegServer", "/embedding", ...).
Switch switchOf(const std::string& text);
std::string usageText();

}  // namespace zentarc::shell
