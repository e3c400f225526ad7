#pragma once
// The server's command line: the registration switches (one '-' or '/', then the whole
// rest compared without regard to case) and the program's own options, which begin with
// "--" so that they never read as a switch.
#include <optional>
#include <string>
#include <vector>

namespace zentarc::shell {

enum class Switch { None, RegServer, UnregServer, Embedding };

// MQTT: --mqtt URL, the --mqtt-... and --sparkplug-... options, as given (MqttSetup.h checks
// and resolves them).
struct MqttCommandLine {
  std::optional<std::string> url, node, prefix, rate, write, ca, cert, key, user, passwordFile, buffer;
  std::optional<std::string> format, sparkplugGroup, sparkplugHost;
};

struct CommandLine {
  Switch action = Switch::None;
  std::string switchText;                // the words read for the switch, joined by blanks
  std::optional<std::string> endpoint;   // --endpoint URL
  std::optional<std::string> configFile; // --config PATH
  std::optional<std::string> checkConfig; // --check-config PATH: check the file, serve nothing
  // OPC UA security: --security LIST, --anonymous off|read|write, --users FILE, --pki DIR.
  std::optional<std::string> security;
  std::optional<std::string> anonymous;
  std::optional<std::string> users;
  std::optional<std::string> pki;
  // --add-user NAME --role reader|writer, --remove-user NAME: change the users file and exit.
  std::optional<std::string> addUser;
  std::optional<std::string> removeUser;
  std::optional<std::string> role;
  MqttCommandLine mqtt;
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

// The policies by name, in order, from a comma-separated list; false with `error` set when a
// name is not one of None, Basic256Sha256, Aes128_Sha256_RsaOaep, Aes256_Sha256_RsaPss.
bool parseSecurityList(const std::string& list, std::vector<std::string>& names, std::string& error);
inline constexpr const char* kDefaultSecurity = "Basic256Sha256,Aes128_Sha256_RsaOaep,Aes256_Sha256_RsaPss";
inline constexpr const char* kDefaultAnonymous = "read";
inline constexpr const char* kDefaultUsersFile = "/etc/opczentarc/users";
inline constexpr const char* kDefaultPkiFolder = "/var/lib/opczentarc/pki";

}  // namespace zentarc::shell
