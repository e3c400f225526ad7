#pragma once
// The security policies we offer, by name and URI, with the algorithms and sizes each one
// fixes: asymmetric signature and encryption for OpenSecureChannel, session signatures and
// user tokens; HMAC-SHA256 and AES-CBC with P_SHA256-derived keys for the messages after it.
#include <string>
#include <string_view>
#include <vector>

#include "server/toolkit/ua/security/Crypto.h"

namespace zentarc::ua {

struct SecurityPolicy {
  const char* name;  // as on our command line: "Basic256Sha256"
  const char* uri;
  bool secure;  // false for None
  crypto::Signature asymmetricSignature;
  const char* asymmetricSignatureUri;
  crypto::Encryption asymmetricEncryption;
  const char* asymmetricEncryptionUri;
  size_t signingKeyLength;     // derived HMAC-SHA256 key
  size_t encryptingKeyLength;  // derived AES key: 16 or 32
  size_t nonceLength;
  size_t minAsymmetricKeyBits;
  size_t maxAsymmetricKeyBits;
  uint8_t rank;  // strength among the policies: endpoints' securityLevel comes from it

  static constexpr size_t kSymmetricSignatureSize = 32;  // HMAC-SHA256
  static constexpr size_t kSymmetricBlockSize = 16;      // AES
  static constexpr size_t kInitializationVectorLength = 16;
};

// None, Basic256Sha256, Aes128_Sha256_RsaOaep, Aes256_Sha256_RsaPss.
const std::vector<SecurityPolicy>& securityPolicies();
const SecurityPolicy& noneSecurityPolicy();
const SecurityPolicy* securityPolicyByUri(std::string_view uri);
const SecurityPolicy* securityPolicyByName(std::string_view name);

// The keys one side uses to sign and encrypt its messages on a channel.
struct SymmetricKeys {
  crypto::Bytes signingKey;
  crypto::Bytes encryptingKey;
  crypto::Bytes initializationVector;
};

// The keys of both sides: the client's from P_SHA256(serverNonce, clientNonce), the server's
// from P_SHA256(clientNonce, serverNonce); each is signing key, encrypting key, IV in order.
struct ChannelKeys {
  SymmetricKeys client;
  SymmetricKeys server;
};
ChannelKeys deriveChannelKeys(const SecurityPolicy& policy, std::string_view clientNonce,
                              std::string_view serverNonce);

}  // namespace zentarc::ua
