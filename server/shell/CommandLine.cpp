#include "server/shell/CommandLine.h"

#include <algorithm>
#include <cctype>

#include "server/shell/MqttSetup.h"

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
    static const char* const valued[] = {"--endpoint", "--config", "--security", "--anonymous", "--users",
                                         "--pki", "--add-user", "--remove-user", "--role",
                                         "--check-config"};
    const bool mqttOption = name.rfind("--mqtt", 0) == 0 || name.rfind("--sparkplug", 0) == 0;
    bool takesValue = mqttOption;
    for (const char* v : valued) takesValue |= name == v;
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
    } else if (name == "--security") {
      std::vector<std::string> names;
      if (!parseSecurityList(*value, names, cl.error)) return cl;
      cl.security = value;
    } else if (name == "--anonymous") {
      if (*value != "off" && *value != "read" && *value != "write") {
        cl.error = "--anonymous takes off, read or write, not \"" + *value + "\"";
        return cl;
      }
      cl.anonymous = value;
    } else if (name == "--role") {
      if (*value != "reader" && *value != "writer") {
        cl.error = "--role takes reader or writer, not \"" + *value + "\"";
        return cl;
      }
      cl.role = value;
    } else if (mqttOption) {
      if (!takeMqttOption(name, *value, cl.mqtt, cl.error)) return cl;
    } else if (name == "--users") {
      cl.users = value;
    } else if (name == "--pki") {
      cl.pki = value;
    } else if (name == "--add-user") {
      cl.addUser = value;
    } else if (name == "--remove-user") {
      cl.removeUser = value;
    } else if (!value && name == "--headless") {
      cl.headless = true;
    } else if (!value && name == "--help") {
      cl.help = true;
    } else {
      cl.notices.push_back("unknown option \"" + a + "\" ignored (registration switches take one '-' or '/')");
    }
  }
  if (cl.addUser && !cl.role) {
    cl.error = "--add-user needs --role reader or --role writer";
    return cl;
  }
  if (cl.addUser && cl.removeUser) {
    cl.error = "--add-user and --remove-user cannot go together";
    return cl;
  }
  for (std::size_t i = 0; i < words.size(); ++i) cl.switchText += (i ? " " : "") + words[i];
  cl.action = switchOf(cl.switchText);
  return cl;
}

std::string usageText() {
  return std::string("Usage: OPCZentarc [-RegServer | -UnregServer | -Embedding] [options]\n"
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
         "  --security LIST  the security policies offered, comma-separated, from None,\n"
         "                   Basic256Sha256, Aes128_Sha256_RsaOaep, Aes256_Sha256_RsaPss (default:\n"
         "                   the store's Security, else the three secure ones, each in Sign and\n"
         "                   SignAndEncrypt)\n"
         "  --anonymous off|read|write\n"
         "                   what anonymous clients may do (default: the store's Anonymous, else read)\n"
         "  --users FILE     the users file (default: the store's Users, else /etc/opczentarc/users)\n"
         "  --pki DIR        the certificates (default: the store's Pki, else\n"
         "                   /var/lib/opczentarc/pki): own/ is made on first start; a client\n"
         "                   certificate must be in trusted/certs (unknown ones land in\n"
         "                   rejected/certs)\n"
         "  --add-user NAME --role reader|writer [--users FILE]\n"
         "                   add a user (or give it a new role and password) with the password\n"
         "                   read from standard input, then exit\n"
         "  --remove-user NAME [--users FILE]\n"
         "                   remove a user, then exit\n") +
         mqttUsageText() +
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

bool parseSecurityList(const std::string& list, std::vector<std::string>& names, std::string& error) {
  static const char* const known[] = {"None", "Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"};
  names.clear();
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = list.find(',', start);
    std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    while (!name.empty() && name.front() == ' ') name.erase(0, 1);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    bool ok = false;
    for (const char* k : known) ok |= name == k;
    if (!ok) {
      error = "unknown security policy \"" + name +
              "\" (use None, Basic256Sha256, Aes128_Sha256_RsaOaep, Aes256_Sha256_RsaPss)";
      return false;
    }
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

}  // namespace zentarc::shell
