#include "server/toolkit/ua/security/SecurityPolicy.h"

namespace zentarc::ua {

namespace {

constexpr const char* kRsaSha256 = "http://www.w3.org/2001/04/xmldsig-more#rsa-sha256";
constexpr const char* kRsaPssSha256 = "http://opcfoundation.org/UA/security/rsa-pss-sha2-256";
constexpr const char* kRsaOaep = "http://www.w3.org/2001/04/xmlenc#rsa-oaep";
constexpr const char* kRsaOaepSha256 = "http://opcfoundation.org/UA/security/rsa-oaep-sha2-256";

SymmetricKeys split(const crypto::Bytes& material, const SecurityPolicy& p) {
  SymmetricKeys k;
  k.signingKey = material.substr(0, p.signingKeyLength);
  k.encryptingKey = material.substr(p.signingKeyLength, p.encryptingKeyLength);
  k.initializationVector = material.substr(p.signingKeyLength + p.encryptingKeyLength,
                                           SecurityPolicy::kInitializationVectorLength);
  return k;
}

}  // namespace

const std::vector<SecurityPolicy>& securityPolicies() {
  using crypto::Encryption;
  using crypto::Signature;
  static const std::vector<SecurityPolicy> all = {
      {"None", "http://opcfoundation.org/UA/SecurityPolicy#None", false, Signature::RsaPkcs1Sha256, "",
       Encryption::RsaOaepSha1, "", 0, 0, 0, 0, 0, 0},
      {"Basic256Sha256", "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256", true,
       Signature::RsaPkcs1Sha256, kRsaSha256, Encryption::RsaOaepSha1, kRsaOaep, 32, 32, 32, 2048, 4096, 2},
      {"Aes128_Sha256_RsaOaep", "http://opcfoundation.org/UA/SecurityPolicy#Aes128_Sha256_RsaOaep", true,
       Signature::RsaPkcs1Sha256, kRsaSha256, Encryption::RsaOaepSha1, kRsaOaep, 32, 16, 32, 2048, 4096, 1},
      {"Aes256_Sha256_RsaPss", "http://opcfoundation.org/UA/SecurityPolicy#Aes256_Sha256_RsaPss", true,
       Signature::RsaPssSha256, kRsaPssSha256, Encryption::RsaOaepSha256, kRsaOaepSha256, 32, 32, 32, 2048, 4096, 3},
  };
  return all;
}

const SecurityPolicy& noneSecurityPolicy() { return securityPolicies().front(); }

const SecurityPolicy* securityPolicyByUri(std::string_view uri) {
  for (const auto& p : securityPolicies())
    if (uri == p.uri) return &p;
  return nullptr;
}

const SecurityPolicy* securityPolicyByName(std::string_view name) {
  for (const auto& p : securityPolicies())
    if (name == p.name) return &p;
  return nullptr;
}

ChannelKeys deriveChannelKeys(const SecurityPolicy& p, std::string_view clientNonce, std::string_view serverNonce) {
  const size_t length = p.signingKeyLength + p.encryptingKeyLength + SecurityPolicy::kInitializationVectorLength;
  ChannelKeys keys;
  keys.client = split(crypto::pSha256(serverNonce, clientNonce, length), p);
  keys.server = split(crypto::pSha256(clientNonce, serverNonce, length), p);
  return keys;
}

}  // namespace zentarc::ua
