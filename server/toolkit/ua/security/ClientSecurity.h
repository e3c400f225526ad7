#pragma once
// The client's side of a secure channel and of session security: its certificate and key,
// the server's certificate (from the endpoint it chose), the keys of each token, and the
// signatures and password encryption of CreateSession and ActivateSession.
#include <map>
#include <string>

#include "server/toolkit/ua/security/ChunkSecurity.h"

namespace zentarc::ua {

class ClientSecurity {
 public:
  ClientSecurity() = default;
  ClientSecurity(const SecurityPolicy& policy, MessageSecurityMode mode, Certificate ownCertificate,
                 crypto::Key ownKey, Certificate serverCertificate);

  const SecurityPolicy& policy() const { return *policy_; }
  MessageSecurityMode mode() const { return mode_; }
  bool secure() const { return policy_->secure; }
  const Certificate& ownCertificate() const { return ownCertificate_; }
  const Certificate& serverCertificate() const { return serverCertificate_; }

  // A fresh nonce for an OpenSecureChannel request (empty with None).
  ByteString newNonce() const;
  // Secures an OpenSecureChannel request chunk; false when it does not fit.
  bool secureOpen(std::string& out, uint32_t channelId, uint32_t sequenceNumber, uint32_t requestId,
                  std::string_view body, size_t maxChunkSize) const;
  // Checks the server's OpenSecureChannel chunk; the plain text goes to `plain`.
  std::string_view unsecureOpen(const char* data, size_t size, size_t securedOffset, std::string& plain) const;
  // Keeps the keys of a token the server issued for `clientNonce`.
  void addToken(uint32_t tokenId, std::string_view clientNonce, std::string_view serverNonce);
  // What secures our chunks (the newest token) and checks the server's (by token id).
  SymmetricSecurity sending() const;
  SymmetricSecurity receiving(uint32_t tokenId) const;

  // CreateSession: the server signed our certificate and nonce with its key.
  bool serverSignatureValid(std::string_view clientNonce, const SignatureData& signature) const;
  // ActivateSession: our signature over the server's certificate and its last nonce.
  SignatureData clientSignature(std::string_view serverNonce) const;

 private:
  const SecurityPolicy* policy_ = &noneSecurityPolicy();
  MessageSecurityMode mode_ = MessageSecurityMode::None;
  Certificate ownCertificate_;
  crypto::Key ownKey_;
  Certificate serverCertificate_;
  std::map<uint32_t, ChannelKeys> tokens_;
  uint32_t newestToken_ = 0;
};

// A password encrypted for `server`'s certificate under `policy`, as a UserName token carries
// it: length, password, server nonce.
bool encryptUserPassword(const Certificate& server, const SecurityPolicy& policy, std::string_view password,
                         std::string_view serverNonce, ByteString& out);

}  // namespace zentarc::ua
