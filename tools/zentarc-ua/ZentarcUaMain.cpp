// zentarc-ua: a command-line OPC UA client for browsing, reading, writing and watching tags.
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
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
  if (!o.user.empty()) {
    // The password: from the environment, else one line of standard input (not echoed).
    const char* fromEnvironment = std::getenv(zentarc::uatool::kPasswordVariable);
    if (fromEnvironment) {
      o.password = fromEnvironment;
    } else {
      const bool terminal = isatty(STDIN_FILENO) != 0;
      termios saved{};
      const bool quiet = terminal && tcgetattr(STDIN_FILENO, &saved) == 0;
      if (terminal) std::cerr << "Password for " << o.user << ": ";
      if (quiet) {
        termios noEcho = saved;
        noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &noEcho);
      }
      std::getline(std::cin, o.password);
      if (quiet) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
      if (terminal) std::cerr << "\n";
      if (!o.password.empty() && o.password.back() == '\r') o.password.pop_back();
    }
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGPIPE, SIG_IGN);
  return zentarc::uatool::runTool(o, interrupted, std::cout, std::cerr);
}
