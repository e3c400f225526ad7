#include "server/shell/CommandLine.h"

#include <cctype>

namespace zentarc::shell {

namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

Switch switchOf(const std::string& text) {
  if (text.empty() || (text[0] != '-' && text[0] != '/')) return Switch::None;
  const std::string rest = upper(text.substr(1));
  if (rest == "REGSERVER") return Switch::RegServer;
  if (rest == "UNREGSERVER") return Switch::UnregServer;
  if (rest == "EMBEDDING" || rest == "EMBEDDED") return Switch::Embedding;
  return Switch::None;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  std::vector<std::string> words;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a.compare(0, 2, "--") != 0) {
      words.push_back(a);
      continue;
    }
    const auto eq = a.find('=');
    const std::string name = a.substr(0, eq);
    const bool takesValue = name == "--endpoint" || name == "--config" || name == "--check-config";
    std::optional<std::string> value;
    if (eq != std::string::npos) {
      value = a.substr(eq + 1);
    } else if (takesValue) {
      if (i + 1 >= args.size()) {
        cl.error = name + " needs a value";
        return cl;
      }
      value = args[++i];
    }
    if (takesValue && value->empty()) {
      cl.error = name + " needs a value";
      return cl;
    }
    if (name == "--endpoint") {
      if (value->rfind("opc.tcp://", 0) != 0) {
        cl.error = "--endpoint must be an opc.tcp:// address, not \"" + *value + "\"";
        return cl;
      }
      cl.endpoint = value;
    } else if (name == "--config") {
      cl.configFile = value;
    } else if (name == "--check-config") {
      cl.checkConfig = value;
    } else if (!value && name == "--headless") {
      cl.headless = true;
    } else if (!value && name == "--help") {
      cl.help = true;
    } else {
      cl.notices.push_back("unknown option \"" + a + "\" ignored (registration switches take one '-' or '/')");
    }
  }
  for (std::size_t i = 0; i < words.size(); ++i) cl.switchText += (i ? " " : "") + words[i];
  cl.action = switchOf(cl.switchText);
  return cl;
}

std::string usageText() {
  return "Usage: OPCZentarc [-RegServer | -UnregServer | -Embedding] [options]\n"
         "\n"
         "Serves the registers of the GE PLCs in the configuration file to OPC UA clients.\n"
         "\n"
         "Switches (one '-' or '/', any letter case, nothing after them):\n"
         "  -RegServer       write the registration record to the settings store, then exit\n"
         "  -UnregServer     remove the registration record, then exit\n"
         "  -Embedding       started on demand: end when the last OPC UA session is gone\n"
         "\n"
         "Options:\n"
         "  --endpoint URL   serve on URL (default: the settings store's Endpoint, else\n"
         "                   opc.tcp://0.0.0.0:4840)\n"
         "  --config PATH    read this configuration file (default: OPCZentarc.xml beside\n"
         "                   the program, else the settings store's ConfigFile)\n"
         "  --headless       no window: messages and PLC status go to standard error\n"
         "                   (also the case when there is no display)\n"
         "  --check-config PATH\n"
         "                   load PATH as the server would, print every problem (with its\n"
         "                   line) and a summary (PLCs, tags, cyclic blocks and messages of a\n"
         "                   full scan at one rate, overlapping tags), then exit without\n"
         "                   serving: 0 no problem, 1 some tags or PLCs skipped or noted,\n"
         "                   2 the file cannot be read\n"
         "  --help           show this text\n"
         "\n"
         "The settings store is /etc/opczentarc/opczentarc.ini, or the file named by\n"
         "OPCZENTARC_SETTINGS.\n";
}

}  // namespace zentarc::shell
