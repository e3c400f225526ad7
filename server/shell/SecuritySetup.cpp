#include "server/shell/SecuritySetup.h"

#include <filesystem>

#include "server/shell/ServerIdentity.h"
#include "server/toolkit/ua/security/LocalIdentity.h"
#include "server/toolkit/ua/security/UserDirectory.h"

namespace zentarc::shell {

namespace {

// The command line's value, else the store's (when it is usable), else the default.
std::string pick(const std::optional<std::string>& fromCommandLine, const settings::SettingsStore& store,
                 const char* name, const std::string& fallback, bool (*usable)(const std::string&),
                 std::vector<std::string>& notices) {
  if (fromCommandLine) return *fromCommandLine;
  const auto stored = store.read(settings::kProductKey, name);
  if (!stored || stored->empty()) return fallback;
  if (usable && !usable(*stored)) {
    notices.push_back("settings store: " + std::string(name) + "=" + *stored + " cannot be used; " + fallback +
                      " stands instead");
    return fallback;
  }
  return *stored;
}

bool usableSecurity(const std::string& list) {
  std::vector<std::string> names;
  std::string error;
  return parseSecurityList(list, names, error);
}

bool usableAnonymous(const std::string& v) { return v == "off" || v == "read" || v == "write"; }

}  // namespace

SecuritySettings resolveSecurity(const CommandLine& cl, const settings::SettingsStore& store,
                                 std::vector<std::string>& notices) {
  SecuritySettings s;
  std::string error;
  parseSecurityList(pick(cl.security, store, settings::kSecurityValue, kDefaultSecurity, usableSecurity, notices),
                    s.policies, error);
  s.anonymous = pick(cl.anonymous, store, settings::kAnonymousValue, kDefaultAnonymous, usableAnonymous, notices);
  s.usersFile = pick(cl.users, store, settings::kUsersValue, kDefaultUsersFile, nullptr, notices);
  s.pkiFolder = pick(cl.pki, store, settings::kPkiValue, kDefaultPkiFolder, nullptr, notices);
  return s;
}

bool buildServerSecurity(const SecuritySettings& s, const std::string& applicationUri, ua::ServerSecurity& security,
                         std::string& error, std::vector<std::string>& warnings) {
  security.policies.clear();
  bool anySecure = false;
  for (const std::string& name : s.policies) {
    const ua::SecurityPolicy* p = ua::securityPolicyByName(name);
    security.policies.push_back(p);
    anySecure |= p->secure;
  }
  security.anonymous = s.anonymous == "off"     ? ua::AnonymousAccess::Off
                       : s.anonymous == "write" ? ua::AnonymousAccess::Write
                                                : ua::AnonymousAccess::Read;
  std::error_code ec;
  const bool usersFile = std::filesystem::is_regular_file(s.usersFile, ec);
  if (anySecure || usersFile) {
    auto pki = std::make_shared<ua::Pki>(s.pkiFolder, "OPCZentarc");
    const ua::CertificateRequest request = ua::localCertificateRequest("OPCZentarc", "Tarvelle Automation", applicationUri);
    if (pki->loadOrCreateOwn(request, error)) {
      security.pki = std::move(pki);
    } else if (anySecure) {
      return false;
    } else {
      warnings.push_back("user names are not offered: " + error);
    }
  }
  if (usersFile && security.pki) security.users = std::make_shared<ua::UserDirectory>(s.usersFile);
  if (security.offersNone())
    warnings.push_back("SecurityPolicy None is offered: messages, and the PLC values in them, travel unsigned and "
                       "unencrypted");
  if (security.anonymous == ua::AnonymousAccess::Write)
    warnings.push_back("anonymous clients may write to the PLCs");
  if (security.anonymous == ua::AnonymousAccess::Off && !security.users)
    warnings.push_back("no client can log in: anonymous access is off and there is no users file at " + s.usersFile);
  return true;
}

}  // namespace zentarc::shell
