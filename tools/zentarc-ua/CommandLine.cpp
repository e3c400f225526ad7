#include "tools/zentarc-ua/CommandLine.h"

#include "server/toolkit/ua/security/SecurityPolicy.h"

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
  return "Usage: zentarc-ua [--endpoint URL] [--security POLICY [--mode MODE]] [--user NAME] COMMAND [ARGUMENTS]\n"
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
         "  --security POLICY      None (default), Basic256Sha256, Aes128_Sha256_RsaOaep or\n"
         "                         Aes256_Sha256_RsaPss; a secure policy uses our own certificate,\n"
         "                         made on first use in ~/.config/zentarc-ua/pki, which the\n"
         "                         server must trust\n"
         "  --mode MODE            Sign or SignAndEncrypt (default) with a secure policy\n"
         "  --user NAME            log in as NAME; the password comes from standard input (one\n"
         "                         line) or the environment variable ZENTARC_UA_PASSWORD\n"
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
    // --name=value is --name value.
    const size_t eq = a.find('=');
    if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      std::vector<std::string> split = {a.substr(0, eq), a.substr(eq + 1)};
      std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      std::vector<std::string> again(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(i));
      again.insert(again.end(), split.begin(), split.end());
      again.insert(again.end(), rest.begin(), rest.end());
      return parseCommandLine(again);
    }
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
    } else if (a == "--security") {
      o.security = value("--security");
      if (!o.security.empty() && !ua::securityPolicyByName(o.security))
        fail("unknown security policy \"" + o.security +
             "\" (use None, Basic256Sha256, Aes128_Sha256_RsaOaep or Aes256_Sha256_RsaPss)");
    } else if (a == "--mode") {
      o.mode = value("--mode");
      if (!o.mode.empty() && o.mode != "Sign" && o.mode != "SignAndEncrypt")
        fail("--mode takes Sign or SignAndEncrypt, not \"" + o.mode + "\"");
    } else if (a == "--user") {
      o.user = value("--user");
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

std::string pkiFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg) return std::string(xdg) + "/zentarc-ua/pki";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/zentarc-ua/pki";
}

}  // namespace zentarc::uatool
