#include "tools/zentarc-ua/CommandLine.h"

#include <cerrno>
#include <cstdlib>

namespace zentarc::uatool {

namespace {
bool parseNumber(const std::string& text, double min, double max, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  out = v;
  return true;
}
}  // namespace

std::string usageText() {
  return "Usage: zentarc-ua [--endpoint URL] COMMAND [ARGUMENTS]\n"
         "\n"
         "Commands:\n"
         "  browse [NODE]          list what NODE references (default: the OPCZentarc folder,\n"
         "                         ns=1;i=1, which holds a folder per PLC)\n"
         "  read NODE...           read the value of each NODE fresh from the device\n"
         "  write NODE VALUE       write VALUE, converted to the node's data type\n"
         "  watch NODE... [--interval MS] [--duration S]\n"
         "                         subscribe and print every change (default every 500 ms,\n"
         "                         until Ctrl+C)\n"
         "\n"
         "Options:\n"
         "  --endpoint URL         the server (default " + std::string(kDefaultEndpoint) + ")\n"
         "  --help                 show this text\n"
         "\n"
         "NODE is a node id such as ns=1;s=Pump1.Speed or i=2258, or a tag name (read as\n"
         "ns=1;s=NAME). An array VALUE is written as comma-separated elements: 1,2,3.\n"
         "\n"
         "Exit status: 0 done, 1 the server refused something, 2 wrong command line,\n"
         "3 no connection.\n";
}

Options parseCommandLine(const std::vector<std::string>& args) {
  Options o;
  std::vector<std::string> positional;
  auto fail = [&o](std::string why) {
    if (o.error.empty()) o.error = std::move(why);
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* name) -> std::string {
      if (i + 1 >= args.size()) {
        fail(std::string(name) + " needs a value");
        return {};
      }
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--endpoint") {
      o.endpoint = value("--endpoint");
    } else if (a == "--interval") {
      double v = 0;
      std::string t = value("--interval");
      if (!t.empty() && !parseNumber(t, 1, 3'600'000, v))
        fail("--interval must be a number of milliseconds from 1 to 3600000, not \"" + t + "\"");
      else if (!t.empty())
        o.intervalMs = static_cast<int>(v);
    } else if (a == "--duration") {
      double v = 0;
      std::string t = value("--duration");
      if (!t.empty() && !parseNumber(t, 0, 31'536'000, v))
        fail("--duration must be a number of seconds, not \"" + t + "\"");
      else if (!t.empty())
        o.durationS = v;
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      fail("unknown option \"" + a + "\"");
    } else {
      positional.push_back(a);
    }
  }
  if (o.help) return o;
  if (positional.empty()) {
    fail("no command given");
    return o;
  }
  const std::string cmd = positional[0];
  std::vector<std::string> rest(positional.begin() + 1, positional.end());
  if (cmd == "browse") {
    o.command = Command::Browse;
    if (rest.size() > 1) fail("browse takes at most one node");
    o.nodes = rest;
  } else if (cmd == "read") {
    o.command = Command::Read;
    if (rest.empty()) fail("read needs at least one node");
    o.nodes = rest;
  } else if (cmd == "write") {
    o.command = Command::Write;
    if (rest.size() != 2) fail("write needs a node and a value");
    else {
      o.nodes = {rest[0]};
      o.value = rest[1];
    }
  } else if (cmd == "watch") {
    o.command = Command::Watch;
    if (rest.empty()) fail("watch needs at least one node");
    o.nodes = rest;
  } else {
    fail("unknown command \"" + cmd + "\"");
  }
  return o;
}

}  // namespace zentarc::uatool
