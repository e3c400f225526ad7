#pragma once
// Security applied to each chunk of a secure channel. OpenSecureChannel chunks are signed
// with the sender's private key and encrypted with the receiver's public key (in Sign mode
// too); the chunks after it are signed with HMAC-SHA256 and, in SignAndEncrypt, padded and
// encrypted with AES-CBC, using the keys derived for the sending side.
//
//   header | security header | sequence header, body, padding, signature
//                              '---- encrypted (from the sequence header on) ----'
//   the signature covers everything before it, the header with its final size included.
#include <string>
#include <string_view>

#include "server/toolkit/ua/ServicesCommon.h"
#include "server/toolkit/ua/security/Certificate.h"
#include "server/toolkit/ua/security/SecurityPolicy.h"

namespace zentarc::ua {

inline constexpr size_t kSequenceHeaderSize = 8;
inline constexpr size_t kSymmetricHeaderSize = 16;  // message header, channel id, token id

// How one side secures the chunks it sends, or checks those it receives, after the opening.
struct SymmetricSecurity {
  MessageSecurityMode mode = MessageSecurityMode::None;
  const SymmetricKeys* keys = nullptr;  // the sending side's keys (None: unused)
  bool secured() const { return mode == MessageSecurityMode::Sign || mode == MessageSecurityMode::SignAndEncrypt; }
};

// How one side secures or checks OpenSecureChannel chunks of a secure policy.
struct AsymmetricSecurity {
  const SecurityPolicy* policy = nullptr;
  const crypto::Key* localKey = nullptr;            // signs what we send, decrypts what we get
  std::string_view localCertificate;                // DER, sent in the security header
  const Certificate* remoteCertificate = nullptr;   // encrypts what we send, verifies what we get
};

// The largest body one symmetric chunk of `chunkSize` bytes carries in `mode`.
size_t maxSymmetricBody(size_t chunkSize, MessageSecurityMode mode);

// Appends one secured symmetric chunk ('F', 'C' or 'A'): sequence header, body, padding,
// signature; the caller has checked that the body fits.
void appendSecuredSymmetricChunk(std::string& out, std::string_view type, char chunkType, uint32_t channelId,
                                 uint32_t tokenId, uint32_t sequenceNumber, uint32_t requestId,
                                 std::string_view body, const SymmetricSecurity& security);

// Checks a received symmetric chunk (decrypting it in place) and returns its sequence header
// and body. Throws UaError(BadSecurityChecksFailed) when it does not check out.
std::string_view unsecureSymmetricChunk(char* data, size_t size, const SymmetricSecurity& security);

// Appends one OpenSecureChannel chunk of a secure policy. False when it does not fit
// `maxChunkSize` or the keys cannot do it.
bool appendSecuredOpenChunk(std::string& out, uint32_t channelId, uint32_t sequenceNumber, uint32_t requestId,
                            std::string_view body, const AsymmetricSecurity& security, size_t maxChunkSize);

// Checks a received OpenSecureChannel chunk whose security header ends at `securedOffset`:
// decrypts with our key, verifies the sender's signature and the padding. Returns the
// sequence header and body (kept in `plain`); throws UaError(BadSecurityChecksFailed).
std::string_view unsecureOpenChunk(const char* data, size_t size, size_t securedOffset,
                                   const AsymmetricSecurity& security, std::string& plain);

}  // namespace zentarc::ua
