// What a client can do against the security of the server: revoked certificates and users
// lose access within seconds, password guessing slows down without locking anyone else out,
// RSA work is bounded before it is done, a channel without security carries only small
// discovery requests, and every new certificate's refusal reaches the log.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/WaitFor.h"
#include "tests/ua/SecureUa.h"

using namespace zentarc::ua;
using namespace zentarc::ua::test;
using zentarc::testsupport::waitFor;

namespace {

// Revocations are looked for every 100 ms here.
void quickRecheck(UaServerConfig& c) { c.limits.revocationCheckMs = 100; }

UaClientOptions userOptions(const std::string& user, const std::string& password, const std::string& from = "") {
  UaClientOptions o = clientOptions("Basic256Sha256");
  o.userName = user;
  o.password = password;
  o.localAddress = from;
  return o;
}

}  // namespace

// Case: the operator takes a client's certificate out of trusted/certs while its channel is
// open. The channel and its session end within seconds, and it cannot come back.
TEST(UaSecurityHardening, certificateTakenOutOfTheTrustList_endsItsChannelAndSession) {
  SecureServer s(28720, kSecurePolicies, AnonymousAccess::Read, true, quickRecheck);
  UaClient c(clientOptions("Aes256_Sha256_RsaPss"));
  ASSERT_TRUE(c.connect(loopbackUrl(28720)).isGood()) << c.errorText();
  ASSERT_EQ(whoAmI(c).first, "");
  fs::remove(s.pki() / "trusted/certs/client.der");
  EXPECT_TRUE(waitFor([&] { return s.server->sessionCount() == 0 && s.server->connectionCount() == 0; }, 5000ms));
  std::vector<DataValue> out;
  EXPECT_FALSE(c.read(std::vector<ReadValueId>(2), out).isGood());
  EXPECT_TRUE(s.logged("closed: BadCertificateUntrusted"));
  EXPECT_TRUE(s.logged("no longer accepted"));
  UaClient again(clientOptions("Aes256_Sha256_RsaPss"));
  EXPECT_EQ(again.connect(loopbackUrl(28720)), StatusCode(Status::BadCertificateUntrusted));
}

// Case: a renewal of the security token shows the same certificate, which the operator has
// revoked meanwhile: refused, even before the periodic check notices.
TEST(UaSecurityHardening, renewalWithARevokedCertificate_isRefused) {
  SecureServer s(28721, kSecurePolicies, AnonymousAccess::Read, true,
                 [](UaServerConfig& c) { c.limits.revocationCheckMs = 3'600'000; });
  UaClient c(clientOptions("Basic256Sha256"));
  ASSERT_TRUE(c.connect(loopbackUrl(28721)).isGood());
  ASSERT_TRUE(c.renewToken().isGood()) << c.errorText();
  fs::remove(s.pki() / "trusted/certs/client.der");
  EXPECT_EQ(c.renewToken(), StatusCode(Status::BadCertificateUntrusted));
  EXPECT_TRUE(waitFor([&] { return s.server->connectionCount() == 0; }));
}

// Case: a user is taken out of the users file, another gets a new password, a third loses
// the right to write, while their sessions are open.
TEST(UaSecurityHardening, usersFileChanges_endTheSessionsOfRemovedUsers_andApplyNewRoles) {
  SecureServer s(28722, kSecurePolicies, AnonymousAccess::Read, true, quickRecheck);
  std::string error;
  ASSERT_TRUE(UserDirectory::addUser(s.users().string(), "shift", UserRole::Writer, "shift-secret", error));
  UaClient op(userOptions("operator", "op-secret")), viewer(userOptions("viewer", "view-secret")),
      shift(userOptions("shift", "shift-secret"));
  for (UaClient* c : {&op, &viewer, &shift}) ASSERT_TRUE(c->connect(loopbackUrl(28722)).isGood()) << c->errorText();
  ASSERT_EQ(whoAmI(op), (std::pair<std::string, bool>{"operator", true}));
  ASSERT_EQ(whoAmI(shift).second, true);
  ASSERT_TRUE(UserDirectory::removeUser(s.users().string(), "operator", error)) << error;
  ASSERT_TRUE(UserDirectory::addUser(s.users().string(), "viewer", UserRole::Reader, "new-secret", error));
  // The role changes by hand, the password stays.
  std::ifstream in(s.users());
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  text.replace(text.find("shift:writer:"), 13, "shift:reader:");
  writeFile(s.users(), text);
  EXPECT_TRUE(waitFor([&] { return s.server->sessionCount() == 1; }, 5000ms));
  std::vector<DataValue> out;
  EXPECT_EQ(op.read(std::vector<ReadValueId>(2), out), StatusCode(Status::BadSessionIdInvalid));
  EXPECT_EQ(viewer.read(std::vector<ReadValueId>(2), out), StatusCode(Status::BadSessionIdInvalid));
  // The three changes may be seen in two rechecks 100 ms apart.
  EXPECT_TRUE(waitFor([&] { return whoAmI(shift) == std::pair<std::string, bool>{"shift", false}; }, 5000ms));
  EXPECT_TRUE(s.logged("session of user \"operator\" ended: the user is no longer in the users file"));
  EXPECT_TRUE(s.logged("session of user \"viewer\" ended: the user's password was changed"));
}

// Case: the users file is rewritten in place, same size, within the step its file time moves
// in (set back here to the time the first reading saw): the new role still counts at once.
TEST(UaSecurityHardening, usersFileRewrittenWithinOneFileTimeStep_isReadAgain) {
  const fs::path dir = fs::temp_directory_path() / ("zentarc-users-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "users").string();
  std::string error;
  ASSERT_TRUE(UserDirectory::addUser(path, "shift", UserRole::Writer, "shift-secret", error)) << error;
  UserDirectory users(path);
  ASSERT_EQ(users.check("shift", "shift-secret")->role, UserRole::Writer);
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  text.replace(text.find("shift:writer:"), 13, "shift:reader:");
  std::ofstream(path, std::ios::in | std::ios::out) << text;  // same file, same size
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  EXPECT_EQ(users.check("shift", "shift-secret")->role, UserRole::Reader);
  fs::remove_all(dir);
}

// Case: guessing a password. After a failure, the same name from the same address waits
// (even with the right password); the right password from another address, and another
// user at this address, get in at once, also while a flood of guesses goes on.
TEST(UaSecurityHardening, passwordGuessing_slowsDown_withoutLockingOthersOut) {
  SecureServer s(28723, kSecurePolicies);
  UaClient wrong(userOptions("operator", "guess"));
  EXPECT_EQ(wrong.connect(loopbackUrl(28723)), StatusCode(Status::BadIdentityTokenRejected));
  UaClient rightButTooSoon(userOptions("operator", "op-secret"));
  EXPECT_EQ(rightButTooSoon.connect(loopbackUrl(28723)), StatusCode(Status::BadIdentityTokenRejected));
  UaClient elsewhere(userOptions("operator", "op-secret", "127.0.0.2"));
  EXPECT_TRUE(elsewhere.connect(loopbackUrl(28723)).isGood()) << elsewhere.errorText();
  UaClient otherUser(userOptions("viewer", "view-secret"));
  EXPECT_TRUE(otherUser.connect(loopbackUrl(28723)).isGood()) << otherUser.errorText();
  // A flood of guesses from one address holds a few checks at most.
  std::atomic<bool> stop{false};
  std::vector<std::thread> guessers;
  for (int i = 0; i < 4; ++i)
    guessers.emplace_back([&, i] {
      for (int k = 0; k < 20 && !stop; ++k) {
        UaClient g(userOptions("name" + std::to_string(i * 100 + k), "guess"));
        (void)g.connect(loopbackUrl(28723));
      }
    });
  for (int i = 0; i < 3; ++i) {
    UaClientOptions o = userOptions("operator", "op-secret", "127.0.0.3");
    o.timeout = 30s;  // the machine may be busy with the guessers; what counts is getting in
    UaClient real(o);
    EXPECT_TRUE(real.connect(loopbackUrl(28723)).isGood()) << real.errorText();
    EXPECT_EQ(whoAmI(real).first, "operator");
  }
  stop = true;
  for (auto& g : guessers) g.join();
}

// Case: an encrypted password of hundreds of RSA blocks. It is refused before decryption:
// one that decrypts to a well-formed secret would otherwise reach the password check.
TEST(UaSecurityHardening, hugeEncryptedPassword_isRefusedBeforeDecryption) {
  SecureServer s(28724, kSecurePolicies);
  UaClient c(clientOptions("Basic256Sha256"));
  ASSERT_TRUE(c.connect(loopbackUrl(28724)).isGood());
  const SecurityPolicy& policy = *securityPolicyByName("Basic256Sha256");
  auto activateWith = [&](const std::string& user, const std::string& password) {
    ByteString encrypted;
    EXPECT_TRUE(encryptUserPassword(testKeys().serverCertificate, policy, password, c.lastServerNonce().data, encrypted));
    return c.activateSession(
        toExtensionObject(UserNameIdentityToken{"username", user, encrypted, policy.asymmetricEncryptionUri}),
        c.lastServerNonce());
  };
  EXPECT_EQ(activateWith("operator", std::string(300 * 214, 'p')), StatusCode(Status::BadIdentityTokenInvalid));
  // A password of ordinary length still gets its check (for another name: the refusal above
  // counts as a failed login of "operator").
  EXPECT_EQ(activateWith("viewer", "not-it"), StatusCode(Status::BadIdentityTokenRejected));
}

// Case: an OpenSecureChannel request inflated to dozens of RSA blocks (a long audit entry
// id in its header) is refused before it is decrypted; ordinary ones open.
TEST(UaSecurityHardening, inflatedOpenSecureChannel_isRefusedBeforeDecryption) {
  SecureServer s(28725, kSecurePolicies);
  UaClientOptions o = clientOptions("Basic256Sha256");
  o.auditEntryId = std::string(40000, 'a');
  UaClient inflated(o);
  EXPECT_EQ(inflated.connect(loopbackUrl(28725)), StatusCode(Status::BadSecurityChecksFailed));
  o.auditEntryId = std::string(200, 'a');
  UaClient ordinary(o);
  EXPECT_TRUE(ordinary.connect(loopbackUrl(28725)).isGood()) << ordinary.errorText();
}

// Case: on a server that offers no endpoint without security, a channel without security
// sends the first chunk of a large Read and of a large GetEndpoints. The Read is refused at
// once, the GetEndpoints once it passes what a discovery request may take, and nothing of
// either stays held.
TEST(UaSecurityHardening, discoveryOnlyChannel_refusesLargeAndOtherRequests_atTheirFirstChunks) {
  SecureServer s(28726, kSecurePolicies);
  auto firstChunk = [](const ChannelSecurityToken& t, uint32_t requestId, uint32_t encodingId, size_t bytes) {
    std::string body;
    Encoder e(body);
    e.write(NodeId(0, encodingId));
    body.append(bytes, 'x');
    return intermediateChunk(t.channelId, t.tokenId, 2, requestId, body);
  };
  UaClient reader;
  ASSERT_TRUE(reader.openChannel(loopbackUrl(28726)).isGood());
  ASSERT_TRUE(sendAllBytes(reader.socketFd(), firstChunk(reader.securityToken(), 1, Id::ReadRequest, 60000)));
  EXPECT_EQ(errorIn(readUntilClosed(reader.socketFd())), StatusCode(Status::BadSecurityPolicyRejected));
  UaClient finder;
  ASSERT_TRUE(finder.openChannel(loopbackUrl(28726)).isGood());
  const ChannelSecurityToken t = finder.securityToken();
  ASSERT_TRUE(sendAllBytes(finder.socketFd(), firstChunk(t, 1, GetEndpointsRequest::kEncodingId, 60000)));
  EXPECT_TRUE(waitFor([&] { return s.server->pendingInputBytes() > 0; }));
  std::string second;
  appendPlainChunk(second, "MSG", 'C', t.channelId, t.tokenId, 3, 1, std::string(60000, 'y'));
  ASSERT_TRUE(sendAllBytes(finder.socketFd(), second));
  EXPECT_EQ(errorIn(readUntilClosed(finder.socketFd())), StatusCode(Status::BadTcpMessageTooLarge));
  EXPECT_TRUE(waitFor([&] { return s.server->pendingInputBytes() == 0; }));
  // Finding the endpoints goes on; a URL of megabytes is not sent back.
  UaClient c;
  ASSERT_TRUE(c.openChannel(loopbackUrl(28726)).isGood());
  GetEndpointsRequest req;
  GetEndpointsResponse found;
  EXPECT_TRUE(c.call(req, found).isGood());
  EXPECT_EQ(found.endpoints.size(), 6u);
  req.endpointUrl = "opc.tcp://" + std::string(5000, 'h');
  GetEndpointsResponse resp;
  EXPECT_EQ(c.call(req, resp), StatusCode(Status::BadTcpEndpointUrlInvalid));
}

// Case: a flood of unknown certificates from one address. Each new certificate's first
// refusal is logged whatever the address sent before, and the log speaks of a copy in
// rejected/certs only when there is one.
TEST(UaSecurityHardening, refusedCertificates_areEachLoggedOnce_andNoCopyIsClaimedThatWasNotMade) {
  SecureServer s(28727, kSecurePolicies, AnonymousAccess::Read, false);
  auto tryWith = [&](const Certificate& cert, const crypto::Key& key) {
    UaClientOptions o = clientOptions("Basic256Sha256");
    o.certificate = cert;
    o.privateKey = key;
    o.applicationUri = cert.applicationUri();
    UaClient c(o);
    return c.connect(loopbackUrl(28727));
  };
  EXPECT_EQ(tryWith(testKeys().clientCertificate, testKeys().other2048), StatusCode(Status::BadCertificateUntrusted));
  EXPECT_EQ(tryWith(testKeys().clientCertificate, testKeys().other2048), StatusCode(Status::BadCertificateUntrusted));
  const Certificate newcomer = testCertificate(testKeys().rsa2048, "urn:test:newcomer");
  fs::remove_all(s.pki() / "rejected/certs");
  writeFile(s.pki() / "rejected/certs", "not a folder");
  EXPECT_EQ(tryWith(newcomer, testKeys().rsa2048), StatusCode(Status::BadCertificateUntrusted));
  const auto lines = s.lines();
  ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
  EXPECT_NE(lines[0].find("\"client\""), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("a copy is in rejected/certs"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("\"newcomer\""), std::string::npos) << lines[1];
  EXPECT_EQ(lines[1].find("a copy is in"), std::string::npos) << lines[1];
}
