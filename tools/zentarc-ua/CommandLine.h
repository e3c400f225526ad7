#pragma once
// The command line of zentarc-ua: what to do, where, on which nodes.
#include <string>
#include <vector>

namespace zentarc::uatool {

inline constexpr const char* kDefaultEndpoint = "opc.tcp://localhost:4840";

enum class Command { None, Browse, Read, Write, Watch };

struct Options {
  Command command = Command::None;
  std::string endpoint = kDefaultEndpoint;
  std::vector<std::string> nodes;
  std::string value;          // write
  int intervalMs = 500;       // watch
  double durationS = 0;       // watch; 0 = until interrupted
  std::string security = "None";              // --security POLICY
  std::string mode = "SignAndEncrypt";        // --mode Sign|SignAndEncrypt
  std::string user;                           // --user NAME (empty: anonymous)
  std::string password;                       // the user's, from standard input or ZENTARC_UA_PASSWORD
  bool help = false;
  std::string error;          // set when the command line is wrong
};

Options parseCommandLine(const std::vector<std::string>& args);
std::string usageText();
// Where our certificate and key live: $XDG_CONFIG_HOME/zentarc-ua/pki, else
// ~/.config/zentarc-ua/pki.
std::string pkiFolder();
inline constexpr const char* kPasswordVariable = "ZENTARC_UA_PASSWORD";

}  // namespace zentarc::uatool
