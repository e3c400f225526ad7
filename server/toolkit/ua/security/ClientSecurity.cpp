#include "server/toolkit/ua/security/ClientSecurity.h"

#include <cstring>

namespace zentarc::ua {

ClientSecurity::ClientSecurity(const SecurityPolicy& policy, MessageSecurityMode mode, Certificate ownCertificate,
                               crypto::Key ownKey, Certificate serverCertificate)
    : policy_(&policy),
      mode_(policy.secure ? mode : MessageSecurityMode::None),
      ownCertificate_(std::move(ownCertificate)),
      ownKey_(std::move(ownKey)),
      serverCertificate_(std::move(serverCertificate)) {}

ByteString ClientSecurity::newNonce() const {
  return ByteString{policy_->secure ? crypto::randomBytes(policy_->nonceLength) : std::string()};
}

bool ClientSecurity::secureOpen(std::string& out, uint32_t channelId, uint32_t sequenceNumber, uint32_t requestId,
                                std::string_view body, size_t maxChunkSize) const {
  const AsymmetricSecurity sec{policy_, &ownKey_, ownCertificate_.der(), &serverCertificate_};
  return appendSecuredOpenChunk(out, channelId, sequenceNumber, requestId, body, sec, maxChunkSize);
}

std::string_view ClientSecurity::unsecureOpen(const char* data, size_t size, size_t securedOffset,
                                              std::string& plain) const {
  const AsymmetricSecurity sec{policy_, &ownKey_, ownCertificate_.der(), &serverCertificate_};
  return unsecureOpenChunk(data, size, securedOffset, sec, plain);
}

void ClientSecurity::addToken(uint32_t tokenId, std::string_view clientNonce, std::string_view serverNonce) {
  tokens_[tokenId] = deriveChannelKeys(*policy_, clientNonce, serverNonce);
  newestToken_ = tokenId;
  // The one before stays for answers still on their way; older ones go.
  while (tokens_.size() > 2) tokens_.erase(tokens_.begin());
}

SymmetricSecurity ClientSecurity::sending() const {
  auto it = tokens_.find(newestToken_);
  return it == tokens_.end() ? SymmetricSecurity{} : SymmetricSecurity{mode_, &it->second.client};
}

SymmetricSecurity ClientSecurity::receiving(uint32_t tokenId) const {
  auto it = tokens_.find(tokenId);
  return it == tokens_.end() ? SymmetricSecurity{} : SymmetricSecurity{mode_, &it->second.server};
}

bool ClientSecurity::serverSignatureValid(std::string_view clientNonce, const SignatureData& signature) const {
  if (!policy_->secure) return true;
  if (signature.algorithm != policy_->asymmetricSignatureUri) return false;
  return crypto::rsaVerify(serverCertificate_.publicKey(), policy_->asymmetricSignature,
                           ownCertificate_.der() + std::string(clientNonce), signature.signature.data);
}

SignatureData ClientSecurity::clientSignature(std::string_view serverNonce) const {
  SignatureData s;
  if (!policy_->secure) return s;
  s.algorithm = policy_->asymmetricSignatureUri;
  s.signature.data = crypto::rsaSign(ownKey_, policy_->asymmetricSignature,
                                     serverCertificate_.der() + std::string(serverNonce));
  return s;
}

bool encryptUserPassword(const Certificate& server, const SecurityPolicy& policy, std::string_view password,
                         std::string_view serverNonce, ByteString& out) {
  const uint32_t length = static_cast<uint32_t>(password.size() + serverNonce.size());
  std::string secret(4, '\0');
  std::memcpy(secret.data(), &length, 4);
  secret.append(password);
  secret.append(serverNonce);
  return crypto::rsaEncrypt(server.publicKey(), policy.asymmetricEncryption, secret, out.data);
}

}  // namespace zentarc::ua
