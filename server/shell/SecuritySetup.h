#pragma once
// The OPC UA security of a run: what the command line says, else the settings store, else
// the defaults (the secure policies, anonymous reading); then the PKI folder with the
// server's certificate and the users file, and the warnings an operator must see.
#include <string>
#include <vector>

#include "common/settings/SettingsStore.h"
#include "server/shell/CommandLine.h"
#include "server/toolkit/ua/security/ServerSecurity.h"

namespace zentarc::shell {

struct SecuritySettings {
  std::vector<std::string> policies;
  std::string anonymous;  // off, read or write
  std::string usersFile;
  std::string pkiFolder;
};

// `notices` gets a line for every value of the store that cannot be used (the default
// stands instead).
SecuritySettings resolveSecurity(const CommandLine& commandLine, const settings::SettingsStore& store,
                                 std::vector<std::string>& notices);

// The server's security from the settings. The PKI folder (and the certificate in it) is
// made when a secure policy is offered or a users file exists. False with `error` set when a
// secure policy is asked for and no certificate can be had. `warnings` gets what weakens the
// server: SecurityPolicy None, anonymous writing, nobody able to log in.
bool buildServerSecurity(const SecuritySettings& settings, const std::string& applicationUri,
                         ua::ServerSecurity& security, std::string& error, std::vector<std::string>& warnings);

}  // namespace zentarc::shell
