// Fuzz target for the secured side of a server connection, which offers every policy and
// trusts one client certificate. The first byte picks what the fuzzer controls:
//   0  everything after a valid Hello: OpenSecureChannel headers (policy, certificate,
//      thumbprint), certificates that do not parse, chunks that do not decrypt;
//   1  the request inside a validly signed and encrypted OpenSecureChannel chunk;
//   2  the bodies of validly secured MSG chunks after a real opening (SignAndEncrypt);
//   3  the secured part of MSG chunks after a real opening, behind a valid header
//      (signatures that do not match, bad padding, cipher text of any length).
// Keys and certificates come from tests/ua/data, so every run sees the same ones.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "server/toolkit/ua/ServerConnection.h"
#include "server/toolkit/ua/security/ClientSecurity.h"

using namespace zentarc::ua;

namespace {

crypto::Key key(const char* name) {
  std::ifstream in(std::string(ZENTARC_TEST_KEYS) + "/" + name + ".pem", std::ios::binary);
  return crypto::Key::fromPrivatePem(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

Certificate certificate(const crypto::Key& k, const char* uri) {
  CertificateRequest r;
  r.commonName = "fuzz";
  r.applicationUri = uri;
  r.validFromSeconds = -3600;
  r.validForSeconds = 100L * 24 * 3600;
  return Certificate::makeSelfSigned(r, k);
}

struct World {
  crypto::Key serverKey = key("server2048");
  crypto::Key clientKey = key("client2048");
  Certificate serverCertificate = certificate(serverKey, "urn:fuzz:server");
  Certificate clientCertificate = certificate(clientKey, "urn:fuzz:client");
  std::string folder;
  ServerSecurity security;

  World() {
    char pattern[] = "/tmp/ua-secure-fuzz-XXXXXX";
    folder = mkdtemp(pattern);
    security.policies.clear();
    for (const auto& p : securityPolicies()) security.policies.push_back(&p);
    security.pki = std::make_shared<Pki>(folder, "server");
    std::string error;
    // Our key and certificate in place, then the client's trusted.
    std::filesystem::create_directories(std::filesystem::path(folder) / "own/certs");
    std::filesystem::create_directories(std::filesystem::path(folder) / "own/private");
    std::filesystem::create_directories(std::filesystem::path(folder) / "trusted/certs");
    std::ofstream(std::filesystem::path(folder) / "own/certs/server.der", std::ios::binary) << serverCertificate.der();
    std::ofstream(std::filesystem::path(folder) / "own/private/server.pem", std::ios::binary) << serverKey.privatePem();
    std::ofstream(std::filesystem::path(folder) / "trusted/certs/client.der", std::ios::binary) << clientCertificate.der();
    if (!security.pki->loadOrCreateOwn(CertificateRequest{}, error)) std::abort();
  }
};

World& world() {
  static World w;
  return w;
}

struct Host : ConnectionHost {
  uint32_t newChannelId() override { return 9; }
  void onServiceRequest(ServerConnection& c, uint32_t requestId, std::string body) override {
    c.sendResponse(requestId, body);
  }
};

std::string hello() {
  HelloMessage h;
  h.endpointUrl = "opc.tcp://fuzz";
  return frameTcpMessage("HEL", encode(h));
}

std::string openRequest(const ByteString& nonce) {
  OpenSecureChannelRequest req;
  req.securityMode = MessageSecurityMode::SignAndEncrypt;
  req.clientNonce = nonce;
  req.requestedLifetime = 60000;
  std::string body;
  Encoder e(body);
  e.write(NodeId(0, OpenSecureChannelRequest::kEncodingId));
  e.write(req);
  return body;
}

void feed(ServerConnection& c, const std::string& bytes) {
  c.onBytes(bytes.data(), bytes.size());
  for (int i = 0; i < 1000 && c.hasWaitingChunk() && !c.paused(); ++i) c.resume();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  World& w = world();
  const SecurityPolicy& policy = *securityPolicyByName(data[0] & 4 ? "Aes256_Sha256_RsaPss" : "Basic256Sha256");
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  Host host;
  ServerConnection conn(1, host, UaServerLimits{}, &std::chrono::steady_clock::now, &w.security);
  feed(conn, hello());
  ClientSecurity client(policy, MessageSecurityMode::SignAndEncrypt, w.clientCertificate, w.clientKey,
                        w.serverCertificate);
  const int mode = data[0] & 3;
  if (mode == 0) {
    feed(conn, input);
    return 0;
  }
  std::string opn;
  const ByteString nonce{std::string(32, 'n')};
  if (!client.secureOpen(opn, 0, 1, 1, mode == 1 ? input : openRequest(nonce), 8192)) return 0;
  conn.outgoing().clear();
  feed(conn, opn);
  if (mode == 1 || conn.closing()) return 0;
  // The server's answer gives the token and its nonce: both sides' keys follow.
  std::string answer = conn.outgoing();
  conn.outgoing().clear();
  try {
    Chunk c = parseChunkHeader(answer.data(), answer.size());
    std::string plain;
    readSequenceHeader(c, client.unsecureOpen(answer.data(), answer.size(), c.securedOffset, plain));
    Decoder d(c.body.data(), c.body.size());
    NodeId type;
    d.read(type);
    OpenSecureChannelResponse resp;
    d.read(resp);
    client.addToken(resp.securityToken.tokenId, nonce.data, resp.serverNonce.data);
    if (mode == 2) {
      std::string msg;
      uint32_t seq = 2;
      const SymmetricSecurity sending = client.sending();
      appendSymmetricChunks(msg, "MSG", 9, resp.securityToken.tokenId, seq, 2, input, ChunkLimits{65536, 0, 0},
                            &sending);
      feed(conn, msg);
    } else {
      std::string chunk = "MSGF";
      chunk.append(4, '\0');
      Encoder e(chunk);
      e.write(uint32_t{9});
      e.write(resp.securityToken.tokenId);
      chunk += input;
      const uint32_t total = static_cast<uint32_t>(chunk.size());
      std::memcpy(&chunk[4], &total, 4);
      feed(conn, chunk);
    }
  } catch (const UaError&) {
    std::abort();  // our own valid opening must be answered in kind
  }
  return 0;
}
