#pragma once
// The machine-wide settings store both programs share: an INI file whose sections stand
// for registry keys. The editor records the last saved configuration there; the server
// reads it and keeps its registration record there.
#include <map>
#include <optional>
#include <string>

namespace zentarc::settings {

// Section for the configuration pointer, named like the key the programs have always used.
inline constexpr const char* kProductKey = "SOFTWARE\\TarvelleAutomation\\OPCZentarc";
inline constexpr const char* kConfigFileValue = "ConfigFile";
inline constexpr const char* kEndpointValue = "Endpoint";
// OPC UA security of the server; its command line wins over these.
inline constexpr const char* kSecurityValue = "Security";
inline constexpr const char* kAnonymousValue = "Anonymous";
inline constexpr const char* kUsersValue = "Users";
inline constexpr const char* kPkiValue = "Pki";
inline constexpr const char* kDefaultPath = "/etc/opczentarc/opczentarc.ini";
inline constexpr const char* kPathVariable = "OPCZENTARC_SETTINGS";

enum class ReadStatus { Ok, NoFile, NoKey, NoValue };

class SettingsStore {
 public:
  // The file named by OPCZENTARC_SETTINGS, else the machine-wide default.
  static std::string defaultPath();

  explicit SettingsStore(std::string path = defaultPath());

  const std::string& path() const { return path_; }

  // Reads one value. status tells apart a missing file, a missing key and a missing value,
  // so that callers can say which one is wrong.
  std::optional<std::string> read(const std::string& key, const std::string& name,
                                  ReadStatus* status = nullptr) const;

  // Stores one value, creating the file and the key when missing. The file is replaced
  // atomically. On failure returns false and sets error to a readable reason.
  bool write(const std::string& key, const std::string& name, const std::string& value,
             std::string* error = nullptr);

  // Removes a whole key. Removing a key that is not there succeeds.
  bool removeKey(const std::string& key, std::string* error = nullptr);

  bool hasKey(const std::string& key) const;

 private:
  using Section = std::map<std::string, std::string>;
  using Sections = std::map<std::string, Section>;
  bool load(Sections& out, bool* exists) const;
  bool save(const Sections& sections, std::string* error) const;

  std::string path_;
};

}  // namespace zentarc::settings
