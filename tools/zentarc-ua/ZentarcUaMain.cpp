// zentarc-ua: a command-line OPC UA client for browsing, reading, writing and watching tags.
#include <csignal>
#include <iostream>

#include "tools/zentarc-ua/Commands.h"

namespace {
std::atomic<bool> interrupted{false};
void onSignal(int) { interrupted = true; }
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  zentarc::uatool::Options o = zentarc::uatool::parseCommandLine(args);
  if (o.help) {
    std::cout << zentarc::uatool::usageText();
    return 0;
  }
  if (!o.error.empty()) {
    std::cerr << "zentarc-ua: " << o.error << "\n\n" << zentarc::uatool::usageText();
    return zentarc::uatool::kUsage;
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGPIPE, SIG_IGN);
  return zentarc::uatool::runTool(o, interrupted, std::cout, std::cerr);
}
