// Where the server's security comes from (command line, settings store, defaults) and what
// it makes of it: the PKI folder only when needed, a clear failure when a secure policy
// cannot have its certificate, and the warnings an operator must see.
#include <gtest/gtest.h>

#include <filesystem>

#include "server/shell/SecuritySetup.h"
#include "server/toolkit/ua/security/UserDirectory.h"
#include "tests/support/TempDir.h"

using namespace zentarc;
using namespace zentarc::shell;
using testsupport::TempDir;

namespace {

std::vector<std::string> names(const ua::ServerSecurity& s) {
  std::vector<std::string> out;
  for (const auto* p : s.policies) out.push_back(p->name);
  return out;
}

bool mentions(const std::vector<std::string>& lines, const std::string& text) {
  for (const auto& l : lines)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(SecuritySetup, commandLineWinsOverTheStore_whichWinsOverTheDefaults) {
  TempDir dir;
  settings::SettingsStore store(dir.file("settings.ini").string());
  std::vector<std::string> notices;
  SecuritySettings s = resolveSecurity(parseCommandLine({}), store, notices);
  EXPECT_EQ(s.policies, (std::vector<std::string>{"Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"}));
  EXPECT_EQ(s.anonymous, "read");
  EXPECT_EQ(s.usersFile, "/etc/opczentarc/users");
  EXPECT_EQ(s.pkiFolder, "/var/lib/opczentarc/pki");
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kSecurityValue, "None,Basic256Sha256"));
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kAnonymousValue, "off"));
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kUsersValue, "/srv/users"));
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kPkiValue, "/srv/pki"));
  s = resolveSecurity(parseCommandLine({}), store, notices);
  EXPECT_EQ(s.policies, (std::vector<std::string>{"None", "Basic256Sha256"}));
  EXPECT_EQ(s.anonymous, "off");
  EXPECT_EQ(s.usersFile, "/srv/users");
  EXPECT_EQ(s.pkiFolder, "/srv/pki");
  s = resolveSecurity(parseCommandLine({"--security", "Aes256_Sha256_RsaPss", "--anonymous", "write", "--pki", "/x"}),
                      store, notices);
  EXPECT_EQ(s.policies, (std::vector<std::string>{"Aes256_Sha256_RsaPss"}));
  EXPECT_EQ(s.anonymous, "write");
  EXPECT_EQ(s.pkiFolder, "/x");
  EXPECT_TRUE(notices.empty());
  // A store value that cannot be used is reported, and the default stands.
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kSecurityValue, "Basic256"));
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kAnonymousValue, "everyone"));
  s = resolveSecurity(parseCommandLine({}), store, notices);
  EXPECT_EQ(s.policies.size(), 3u);
  EXPECT_EQ(s.anonymous, "read");
  EXPECT_EQ(notices.size(), 2u);
  EXPECT_TRUE(mentions(notices, "Security=Basic256 cannot be used"));
}

TEST(SecuritySetup, securePolicies_makeTheCertificate_noneAloneTouchesNoFolder) {
  TempDir dir;
  SecuritySettings s{{"None"}, "read", dir.file("users").string(), dir.file("pki").string()};
  ua::ServerSecurity security;
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(buildServerSecurity(s, "urn:test", security, error, warnings));
  EXPECT_FALSE(security.pki);
  EXPECT_FALSE(std::filesystem::exists(dir.file("pki")));
  EXPECT_TRUE(mentions(warnings, "SecurityPolicy None is offered"));
  s.policies = {"Basic256Sha256", "Aes256_Sha256_RsaPss"};
  warnings.clear();
  ASSERT_TRUE(buildServerSecurity(s, "urn:test", security, error, warnings)) << error;
  ASSERT_TRUE(security.hasCertificate());
  EXPECT_EQ(security.pki->ownCertificate().applicationUri(), "urn:test");
  EXPECT_EQ(names(security), (std::vector<std::string>{"Basic256Sha256", "Aes256_Sha256_RsaPss"}));
  EXPECT_FALSE(security.users);  // no users file yet
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(security.anonymous, ua::AnonymousAccess::Read);
}

TEST(SecuritySetup, aSecurePolicyWithoutAWritablePkiFolder_failsClearly) {
  TempDir dir;
  const auto blocker = dir.write("file", "x");
  SecuritySettings s{{"Basic256Sha256"}, "read", dir.file("users").string(), (blocker / "pki").string()};
  ua::ServerSecurity security;
  std::string error;
  std::vector<std::string> warnings;
  EXPECT_FALSE(buildServerSecurity(s, "urn:test", security, error, warnings));
  EXPECT_NE(error.find("cannot make the PKI folder"), std::string::npos) << error;
}

TEST(SecuritySetup, anonymousWriting_andNobodyAbleToLogIn_areWarned_usersFileOffersUserNames) {
  TempDir dir;
  SecuritySettings s{{"Basic256Sha256"}, "write", dir.file("users").string(), dir.file("pki").string()};
  ua::ServerSecurity security;
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(buildServerSecurity(s, "urn:test", security, error, warnings));
  EXPECT_TRUE(mentions(warnings, "anonymous clients may write to the PLCs"));
  s.anonymous = "off";
  warnings.clear();
  ASSERT_TRUE(buildServerSecurity(s, "urn:test", security, error, warnings));
  EXPECT_TRUE(mentions(warnings, "no client can log in"));
  ASSERT_TRUE(ua::UserDirectory::addUser(s.usersFile, "op", ua::UserRole::Writer, "pw", error));
  warnings.clear();
  ua::ServerSecurity withUsers;
  ASSERT_TRUE(buildServerSecurity(s, "urn:test", withUsers, error, warnings));
  EXPECT_TRUE(withUsers.offersUserNames());
  EXPECT_TRUE(warnings.empty());
}
