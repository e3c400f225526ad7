// Our client against our server over loopback under every security policy and mode: the
// client's certificate judged by the server's PKI, the session signatures, anonymous and
// user-name identities with their roles, the password's protection, and the log.
#include <gtest/gtest.h>

#include "tests/support/WaitFor.h"
#include "tests/ua/SecureUa.h"

using namespace zentarc::ua;
using namespace zentarc::ua::test;
using namespace std::chrono_literals;
using zentarc::testsupport::waitFor;

TEST(UaSecurity, everyPolicyAndMode_openAChannelAndASession_andCarryLargeMessages) {
  SecureServer s(28700);
  for (const std::string& policy : kSecurePolicies)
    for (MessageSecurityMode mode : {MessageSecurityMode::Sign, MessageSecurityMode::SignAndEncrypt}) {
      UaClient c(clientOptions(policy, mode));
      ASSERT_TRUE(c.connect(loopbackUrl(28700)).isGood()) << policy << " " << int(mode) << ": " << c.errorText();
      EXPECT_EQ(whoAmI(c), (std::pair<std::string, bool>{"", false}));  // anonymous reads only
      // Requests and answers of many chunks each.
      std::vector<DataValue> out;
      EXPECT_TRUE(c.read(std::vector<ReadValueId>(20000), out).isGood()) << policy;
      EXPECT_EQ(out.size(), 20000u);
      c.disconnect();
    }
  UaClient plain(clientOptions("None"));
  ASSERT_TRUE(plain.connect(loopbackUrl(28700)).isGood()) << plain.errorText();
  EXPECT_EQ(whoAmI(plain).first, "");
}

TEST(UaSecurity, endpoints_listEveryPolicyAndMode_withTheCertificateAndTokenPolicies) {
  SecureServer s(28701);
  UaClient c;
  std::vector<EndpointDescription> eps;
  ASSERT_TRUE(c.discover(loopbackUrl(28701), eps).isGood());
  ASSERT_EQ(eps.size(), 7u);
  const EndpointDescription* best = &eps[0];
  for (const auto& ep : eps) {
    EXPECT_EQ(ep.serverCertificate.data, testKeys().serverCertificate.der());
    ASSERT_EQ(ep.userIdentityTokens.size(), 2u);
    const UserTokenPolicy& user = ep.userIdentityTokens[1];
    EXPECT_EQ(user.tokenType, UserTokenType::UserName);
    // A password is encrypted by the endpoint's own policy, or on None by the strongest.
    EXPECT_EQ(user.securityPolicyUri, ep.securityMode == MessageSecurityMode::None
                                          ? std::string(securityPolicyByName("Aes256_Sha256_RsaPss")->uri)
                                          : ep.securityPolicyUri);
    if (ep.securityLevel > best->securityLevel) best = &ep;
  }
  EXPECT_EQ(best->securityPolicyUri, securityPolicyByName("Aes256_Sha256_RsaPss")->uri);
  EXPECT_EQ(best->securityMode, MessageSecurityMode::SignAndEncrypt);
}

TEST(UaSecurity, withoutNone_aNoneChannelServesDiscoveryOnly) {
  SecureServer s(28702, kSecurePolicies);
  UaClient c;
  std::vector<EndpointDescription> eps;
  ASSERT_TRUE(c.discover(loopbackUrl(28702), eps).isGood());
  EXPECT_EQ(eps.size(), 6u);
  for (const auto& ep : eps) EXPECT_NE(ep.securityMode, MessageSecurityMode::None);
  UaClient none(clientOptions("None"));
  EXPECT_EQ(none.connect(loopbackUrl(28702)), StatusCode(Status::BadSecurityPolicyRejected));
  UaClient secure(clientOptions("Basic256Sha256"));
  EXPECT_TRUE(secure.connect(loopbackUrl(28702)).isGood()) << secure.errorText();
}

TEST(UaSecurity, unknownClientCertificate_isRefusedAndRejected_thenAcceptedOnceTrusted) {
  SecureServer s(28703, kSecurePolicies, AnonymousAccess::Read, false);
  UaClient c(clientOptions("Aes256_Sha256_RsaPss"));
  EXPECT_EQ(c.connect(loopbackUrl(28703)), StatusCode(Status::BadCertificateUntrusted));
  const fs::path rejected = s.pki() / "rejected/certs" / certificateFileName(testKeys().clientCertificate);
  ASSERT_TRUE(fs::exists(rejected));
  EXPECT_TRUE(waitFor([&] { return !s.lines().empty(); }));
  EXPECT_NE(s.lines()[0].find("BadCertificateUntrusted"), std::string::npos) << s.lines()[0];
  // The operator moves it; the next connection is accepted without a restart.
  fs::rename(rejected, s.pki() / "trusted/certs" / rejected.filename());
  UaClient again(clientOptions("Aes256_Sha256_RsaPss"));
  EXPECT_TRUE(again.connect(loopbackUrl(28703)).isGood()) << again.errorText();
}

TEST(UaSecurity, certificateNotMatchingTheApplicationUri_orExpired_isRefused) {
  SecureServer s(28704, kSecurePolicies);
  UaClientOptions o = clientOptions("Basic256Sha256");
  o.applicationUri = "urn:someone:else";
  UaClient wrongUri(o);
  EXPECT_EQ(wrongUri.connect(loopbackUrl(28704)), StatusCode(Status::BadCertificateUriInvalid));
  const Certificate expired = testCertificate(testKeys().other2048, "urn:test:client", -10 * 24 * 3600, 24 * 3600);
  writeFile(s.pki() / "trusted/certs/expired.der", expired.der());
  o = clientOptions("Basic256Sha256");
  o.certificate = expired;
  UaClient old(o);
  EXPECT_EQ(old.connect(loopbackUrl(28704)), StatusCode(Status::BadCertificateTimeInvalid));
}

TEST(UaSecurity, userNames_rightPasswordsGetTheirRoles_wrongOnesAreRefusedAndLogged) {
  SecureServer s(28705);
  for (const std::string& policy : {std::string("None"), std::string("Basic256Sha256"), std::string("Aes256_Sha256_RsaPss")}) {
    UaClientOptions o = clientOptions(policy);
    o.userName = "operator";
    o.password = "op-secret";
    UaClient op(o);
    ASSERT_TRUE(op.connect(loopbackUrl(28705)).isGood()) << policy << ": " << op.errorText();
    EXPECT_EQ(whoAmI(op), (std::pair<std::string, bool>{"operator", true}));
    o.userName = "viewer";
    o.password = "view-secret";
    UaClient viewer(o);
    ASSERT_TRUE(viewer.connect(loopbackUrl(28705)).isGood()) << policy;
    EXPECT_EQ(whoAmI(viewer), (std::pair<std::string, bool>{"viewer", false}));
  }
  UaClientOptions o = clientOptions("Aes128_Sha256_RsaOaep", MessageSecurityMode::Sign);
  o.userName = "operator";
  o.password = "guess";
  for (int i = 0; i < 3; ++i) {
    UaClient wrong(o);
    EXPECT_EQ(wrong.connect(loopbackUrl(28705)), StatusCode(Status::BadIdentityTokenRejected));
  }
  o.userName = "nobody";
  UaClient unknown(o);
  EXPECT_EQ(unknown.connect(loopbackUrl(28705)), StatusCode(Status::BadIdentityTokenRejected));
  // One line for the address in the interval; the password never appears.
  const auto lines = s.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("failed activation of user \"operator\" from 127.0.0.1"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[0].find("guess"), std::string::npos);
}

TEST(UaSecurity, aPasswordInClearText_isTakenOnlyInsideAnEncryptedChannel) {
  SecureServer s(28706);
  const ExtensionObject clear = toExtensionObject(UserNameIdentityToken{"username", "operator", ByteString{"op-secret"}, ""});
  auto switchToOperator = [&](const std::string& policy, MessageSecurityMode mode) {
    UaClient c(clientOptions(policy, mode));
    EXPECT_TRUE(c.connect(loopbackUrl(28706)).isGood()) << c.errorText();
    const StatusCode st = c.activateSession(clear, c.lastServerNonce());
    return std::make_pair(st, st.isGood() ? whoAmI(c).first : std::string());
  };
  EXPECT_EQ(switchToOperator("None", MessageSecurityMode::None).first, StatusCode(Status::BadIdentityTokenInvalid));
  EXPECT_EQ(switchToOperator("Basic256Sha256", MessageSecurityMode::Sign).first,
            StatusCode(Status::BadIdentityTokenInvalid));
  EXPECT_EQ(switchToOperator("Basic256Sha256", MessageSecurityMode::SignAndEncrypt),
            std::make_pair(StatusCode(Status::Good), std::string("operator")));
}

TEST(UaSecurity, sessionMove_needsTheSameCertificateAndIdentity) {
  SecureServer s(28709);
  UaClientOptions o = clientOptions("Aes256_Sha256_RsaPss");
  o.userName = "operator";
  o.password = "op-secret";
  UaClient first(o);
  ASSERT_TRUE(first.connect(loopbackUrl(28709)).isGood());
  const ExtensionObject anonymous = toExtensionObject(AnonymousIdentityToken{"anonymous"});
  // Another channel of the same application, as anonymous: refused.
  UaClient second(clientOptions("Aes256_Sha256_RsaPss"));
  ASSERT_TRUE(second.connect(loopbackUrl(28709)).isGood());
  second.setAuthenticationToken(first.authenticationToken());
  EXPECT_EQ(second.activateSession(anonymous, first.lastServerNonce()), StatusCode(Status::BadIdentityTokenRejected));
  EXPECT_EQ(whoAmI(first).first, "operator");
  // Another application's certificate: refused before any identity is looked at.
  const Certificate otherCert = testCertificate(testKeys().rsa4096, "urn:test:client");
  writeFile(s.pki() / "trusted/certs/other.der", otherCert.der());
  UaClientOptions otherOptions = clientOptions("Aes256_Sha256_RsaPss");
  otherOptions.certificate = otherCert;
  otherOptions.privateKey = testKeys().rsa4096;
  UaClient stranger(otherOptions);
  ASSERT_TRUE(stranger.connect(loopbackUrl(28709)).isGood()) << stranger.errorText();
  stranger.setAuthenticationToken(first.authenticationToken());
  EXPECT_EQ(stranger.activateSession(anonymous, first.lastServerNonce()), StatusCode(Status::BadSecurityChecksFailed));
  // The same certificate and the same user (its password again): the session moves.
  UaClientOptions same = clientOptions("Basic256Sha256");
  UaClient third(same);
  ASSERT_TRUE(third.connect(loopbackUrl(28709)).isGood());
  third.setAuthenticationToken(first.authenticationToken());
  ByteString encrypted;
  ASSERT_TRUE(encryptUserPassword(testKeys().serverCertificate, *securityPolicyByName("Basic256Sha256"), "op-secret",
                                  first.lastServerNonce().data, encrypted));
  const ExtensionObject user = toExtensionObject(UserNameIdentityToken{
      "username", "operator", encrypted, securityPolicyByName("Basic256Sha256")->asymmetricEncryptionUri});
  EXPECT_TRUE(third.activateSession(user, first.lastServerNonce()).isGood()) << third.errorText();
  EXPECT_EQ(whoAmI(third).first, "operator");
  std::vector<DataValue> out;
  EXPECT_EQ(first.read(std::vector<ReadValueId>(2), out), StatusCode(Status::BadSecureChannelIdInvalid));
}

TEST(UaSecurity, anonymousOff_refusesAnonymousSessions) {
  SecureServer s(28707, kSecurePolicies, AnonymousAccess::Off);
  UaClient c(clientOptions("Basic256Sha256"));
  EXPECT_EQ(c.connect(loopbackUrl(28707)), StatusCode(Status::BadIdentityTokenInvalid));
  UaClientOptions o = clientOptions("Basic256Sha256");
  o.userName = "viewer";
  o.password = "view-secret";
  UaClient user(o);
  EXPECT_TRUE(user.connect(loopbackUrl(28707)).isGood()) << user.errorText();
}

TEST(UaSecurity, tokenRenewal_underEveryPolicyAndMode_keepsTheChannelWorking) {
  SecureServer s(28708, kSecurePolicies);
  for (const std::string& policy : kSecurePolicies)
    for (MessageSecurityMode mode : {MessageSecurityMode::Sign, MessageSecurityMode::SignAndEncrypt}) {
      UaClient c(clientOptions(policy, mode));
      ASSERT_TRUE(c.connect(loopbackUrl(28708)).isGood()) << policy;
      const uint32_t first = c.securityToken().tokenId;
      // New keys each time; messages of many chunks go on under them.
      for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(c.renewToken().isGood()) << policy << ": " << c.errorText();
        std::vector<DataValue> out;
        EXPECT_TRUE(c.read(std::vector<ReadValueId>(5000), out).isGood()) << policy << ": " << c.errorText();
      }
      EXPECT_EQ(c.securityToken().tokenId, first + 2);
    }
}
