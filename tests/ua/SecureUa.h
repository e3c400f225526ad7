#pragma once
// A secure server for tests over loopback: its own certificate and key in place, our test
// client's certificate trusted, users "operator" (writer) and "viewer" (reader), a Read that
// answers who the session is, and the security log kept. With our client's options.
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>

#include "server/toolkit/ua/UaClient.h"
#include "server/toolkit/ua/UaServer.h"
#include "server/toolkit/ua/security/UserDirectory.h"
#include "tests/support/TempDir.h"
#include "tests/ua/RawUa.h"
#include "tests/ua/SecurityTestKeys.h"

namespace zentarc::ua::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const std::vector<std::string> kSecurePolicies = {"Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"};

inline void writeFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

struct SecureServer {
  zentarc::testsupport::TempDir dir;
  std::unique_ptr<UaServer> server;
  std::mutex logMutex;
  std::vector<std::string> log;

  explicit SecureServer(int port, std::vector<std::string> policies = {"None", "Basic256Sha256",
                                                                       "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"},
                        AnonymousAccess anonymous = AnonymousAccess::Read, bool trustClient = true,
                        const std::function<void(UaServerConfig&)>& tune = {}) {
    // The server's own certificate and key are in place already: no key to make.
    const fs::path root = dir.path() / "pki";
    writeFile(root / "own/certs/server.der", testKeys().serverCertificate.der());
    writeFile(root / "own/private/server.pem", testKeys().rsa2048.privatePem());
    if (trustClient) writeFile(root / "trusted/certs/client.der", testKeys().clientCertificate.der());
    UaServerConfig c;
    c.endpointUrl = loopbackUrl(port);
    c.applicationUri = "urn:test:server";
    c.security.pki = std::make_shared<Pki>(root, "server");
    std::string error;
    EXPECT_TRUE(c.security.pki->loadOrCreateOwn(CertificateRequest{}, error)) << error;
    EXPECT_EQ(c.security.pki->ownCertificate().der(), testKeys().serverCertificate.der());
    c.security.policies.clear();
    for (const auto& p : policies) c.security.policies.push_back(securityPolicyByName(p));
    c.security.anonymous = anonymous;
    const std::string users = (dir.path() / "users").string();
    EXPECT_TRUE(UserDirectory::addUser(users, "operator", UserRole::Writer, "op-secret", error)) << error;
    EXPECT_TRUE(UserDirectory::addUser(users, "viewer", UserRole::Reader, "view-secret", error)) << error;
    c.security.users = std::make_shared<UserDirectory>(users);
    c.security.log = [this](const std::string& line) {
      std::lock_guard lock(logMutex);
      log.push_back(line);
    };
    if (tune) tune(c);
    server = std::make_unique<UaServer>(c);
    // Read answers who the session is: its user name and whether it may write.
    server->services().add<ReadRequest, ReadResponse>(
        [](RequestContext& ctx, ReadRequest& req, const Reply<ReadResponse>& reply) {
          ReadResponse resp;
          resp.results.resize(req.nodesToRead.size());
          resp.results[0].value = Variant::of(String(ctx.session->identity.userName));
          if (resp.results.size() > 1) resp.results[1].value = Variant::of(ctx.session->mayWrite);
          reply(std::move(resp));
        });
    EXPECT_TRUE(server->start().isGood()) << server->errorText();
  }
  std::vector<std::string> lines() {
    std::lock_guard lock(logMutex);
    return log;
  }
  fs::path pki() const { return dir.path() / "pki"; }
  fs::path users() const { return dir.path() / "users"; }
  bool logged(const std::string& text) {
    for (const auto& l : lines())
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
};

inline UaClientOptions clientOptions(const std::string& policy, MessageSecurityMode mode = MessageSecurityMode::SignAndEncrypt) {
  UaClientOptions o;
  o.securityPolicy = policy;
  o.securityMode = mode;
  o.certificate = testKeys().clientCertificate;
  o.privateKey = testKeys().other2048;
  o.applicationUri = "urn:test:client";
  o.timeout = 5000ms;
  return o;
}

// The session's user name and whether it may write, as the server sees it.
inline std::pair<std::string, bool> whoAmI(UaClient& c) {
  std::vector<DataValue> out;
  if (!c.read(std::vector<ReadValueId>(2), out).isGood()) return {"?", false};
  return {*out[0].value->get<String>(), *out[1].value->get<bool>()};
}


}  // namespace zentarc::ua::test
