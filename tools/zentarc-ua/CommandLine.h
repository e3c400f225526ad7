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
  bool help = false;
  std::string error;          // set when the command line is wrong
};

Options parseCommandLine(const std::vector<std::string>& args);
std::string usageText();

}  // namespace zentarc::uatool
