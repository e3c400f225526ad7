#include "server/toolkit/ua/security/ChunkSecurity.h"

#include <cstring>

#include "server/toolkit/ua/Binary.h"

namespace zentarc::ua {

namespace {

[[noreturn]] void refuse(const char* what) { throw UaError(Status::BadSecurityChecksFailed, what); }

void putU32(std::string& out, size_t at, uint32_t v) { std::memcpy(&out[at], &v, 4); }

void appendU32(std::string& out, uint32_t v) {
  char b[4];
  std::memcpy(b, &v, 4);
  out.append(b, 4);
}

// Padding for `bytes` (sequence header and body) before a signature of `signatureSize`, so
// that the whole is a multiple of `block`: the size byte (and, with keys over 2048 bits, a
// second one) plus that many bytes each holding the size's low byte.
std::string padding(size_t bytes, size_t signatureSize, size_t block, bool extraByte) {
  const size_t fixed = extraByte ? 2 : 1;
  const size_t rest = (bytes + signatureSize + fixed) % block;
  const size_t n = rest == 0 ? 0 : block - rest;
  std::string out(n + 1, static_cast<char>(n & 0xFF));
  if (extraByte) out.push_back(static_cast<char>((n >> 8) & 0xFF));
  return out;
}

// Removes and checks padding at the end of `plain` (the signature already taken off).
std::string_view unpad(std::string_view plain, bool extraByte) {
  if (plain.size() < (extraByte ? 2u : 1u)) refuse("no room for padding");
  size_t n = static_cast<unsigned char>(plain[plain.size() - (extraByte ? 2 : 1)]);
  if (extraByte) n |= static_cast<size_t>(static_cast<unsigned char>(plain.back())) << 8;
  const size_t total = n + (extraByte ? 2 : 1);
  if (total > plain.size()) refuse("padding longer than the chunk");
  const size_t start = plain.size() - total;
  for (size_t i = start; i < start + n + 1; ++i)
    if (static_cast<unsigned char>(plain[i]) != (n & 0xFF)) refuse("padding bytes differ");
  return plain.substr(0, start);
}

}  // namespace

size_t maxSymmetricBody(size_t chunkSize, MessageSecurityMode mode) {
  const size_t room = chunkSize > kSymmetricHeaderSize ? chunkSize - kSymmetricHeaderSize : 0;
  const size_t sig = SecurityPolicy::kSymmetricSignatureSize, block = SecurityPolicy::kSymmetricBlockSize;
  switch (mode) {
    case MessageSecurityMode::Sign:
      return room > kSequenceHeaderSize + sig ? room - kSequenceHeaderSize - sig : 0;
    case MessageSecurityMode::SignAndEncrypt: {
      // Whole blocks hold the sequence header, body, padding size and signature.
      const size_t encrypted = room / block * block;
      const size_t fixed = kSequenceHeaderSize + 1 + sig;
      return encrypted > fixed ? encrypted - fixed : 0;
    }
    default:
      return room > kSequenceHeaderSize ? room - kSequenceHeaderSize : 0;
  }
}

void appendSecuredSymmetricChunk(std::string& out, std::string_view type, char chunkType, uint32_t channelId,
                                 uint32_t tokenId, uint32_t sequenceNumber, uint32_t requestId,
                                 std::string_view body, const SymmetricSecurity& security) {
  const bool encrypt = security.mode == MessageSecurityMode::SignAndEncrypt;
  const size_t sig = SecurityPolicy::kSymmetricSignatureSize;
  const std::string pad = encrypt ? padding(kSequenceHeaderSize + body.size(), sig,
                                            SecurityPolicy::kSymmetricBlockSize, false)
                                  : std::string();
  const size_t start = out.size();
  const size_t total = kSymmetricHeaderSize + kSequenceHeaderSize + body.size() + pad.size() + sig;
  out.reserve(start + total);
  out.append(type.data(), 3);
  out.push_back(chunkType);
  appendU32(out, static_cast<uint32_t>(total));
  appendU32(out, channelId);
  appendU32(out, tokenId);
  appendU32(out, sequenceNumber);
  appendU32(out, requestId);
  out.append(body);
  out.append(pad);
  out += crypto::hmacSha256(security.keys->signingKey, std::string_view(out).substr(start));
  if (encrypt &&
      !crypto::aesCbcEncrypt(security.keys->encryptingKey, security.keys->initializationVector,
                             &out[start + kSymmetricHeaderSize], total - kSymmetricHeaderSize))
    throw UaError(Status::BadInternalError, "encryption failed");
}

std::string_view unsecureSymmetricChunk(char* data, size_t size, const SymmetricSecurity& security) {
  const size_t sig = SecurityPolicy::kSymmetricSignatureSize;
  if (size < kSymmetricHeaderSize + kSequenceHeaderSize + sig) refuse("chunk too short for its security");
  const bool encrypted = security.mode == MessageSecurityMode::SignAndEncrypt;
  if (encrypted) {
    if ((size - kSymmetricHeaderSize) % SecurityPolicy::kSymmetricBlockSize != 0) refuse("not whole cipher blocks");
    if (!crypto::aesCbcDecrypt(security.keys->encryptingKey, security.keys->initializationVector,
                               data + kSymmetricHeaderSize, size - kSymmetricHeaderSize))
      refuse("does not decrypt");
  }
  const std::string_view all(data, size);
  if (!crypto::equalInConstantTime(crypto::hmacSha256(security.keys->signingKey, all.substr(0, size - sig)),
                                   all.substr(size - sig)))
    refuse("signature does not match");
  std::string_view plain = all.substr(kSymmetricHeaderSize, size - kSymmetricHeaderSize - sig);
  if (encrypted) plain = unpad(plain, false);
  if (plain.size() < kSequenceHeaderSize) refuse("no sequence header");
  return plain;
}

bool appendSecuredOpenChunk(std::string& out, uint32_t channelId, uint32_t sequenceNumber, uint32_t requestId,
                            std::string_view body, const AsymmetricSecurity& sec, size_t maxChunkSize) {
  const crypto::Key remoteKey = sec.remoteCertificate->publicKey();
  const size_t cipherBlock = remoteKey.sizeBytes();
  const size_t plainBlock = crypto::rsaPlainBlockSize(sec.policy->asymmetricEncryption, cipherBlock);
  const size_t sig = sec.localKey->sizeBytes();
  if (!remoteKey || plainBlock == 0 || sig == 0) return false;
  std::string chunk = "OPNF";
  chunk.append(4, '\0');
  Encoder e(chunk);
  e.write(channelId);
  e.write(String(sec.policy->uri));
  e.write(ByteString{std::string(sec.localCertificate)});
  e.write(ByteString{sec.remoteCertificate->thumbprint()});
  const size_t securedOffset = chunk.size();
  std::string plain;
  appendU32(plain, sequenceNumber);
  appendU32(plain, requestId);
  plain.append(body);
  plain += padding(plain.size(), sig, plainBlock, cipherBlock > 256);
  const size_t blocks = (plain.size() + sig) / plainBlock;
  const size_t total = securedOffset + blocks * cipherBlock;
  if (maxChunkSize && total > maxChunkSize) return false;
  putU32(chunk, 4, static_cast<uint32_t>(total));
  const std::string signature =
      crypto::rsaSign(*sec.localKey, sec.policy->asymmetricSignature, chunk + plain);
  if (signature.size() != sig) return false;
  plain += signature;
  std::string cipher;
  if (!crypto::rsaEncrypt(remoteKey, sec.policy->asymmetricEncryption, plain, cipher) ||
      cipher.size() != blocks * cipherBlock)
    return false;
  out += chunk;
  out += cipher;
  return true;
}

std::string_view unsecureOpenChunk(const char* data, size_t size, size_t securedOffset,
                                   const AsymmetricSecurity& sec, std::string& plain) {
  const crypto::Key remoteKey = sec.remoteCertificate->publicKey();
  const size_t sig = remoteKey.sizeBytes();
  const size_t ourBlock = sec.localKey->sizeBytes();
  if (securedOffset > size || ourBlock == 0 || sig == 0) refuse("no keys for the chunk");
  const std::string_view cipher(data + securedOffset, size - securedOffset);
  if (cipher.empty() || cipher.size() % ourBlock != 0) refuse("not whole cipher blocks");
  if (!crypto::rsaDecrypt(*sec.localKey, sec.policy->asymmetricEncryption, cipher, plain)) refuse("does not decrypt");
  if (plain.size() < kSequenceHeaderSize + sig + 1) refuse("chunk too short for its security");
  const std::string_view all(plain);
  std::string signedPart(data, securedOffset);
  signedPart.append(all.substr(0, all.size() - sig));
  if (!crypto::rsaVerify(remoteKey, sec.policy->asymmetricSignature, signedPart, all.substr(all.size() - sig)))
    refuse("signature does not match");
  // The padding's extra byte follows the size of the key that encrypted the chunk: ours.
  const std::string_view body = unpad(all.substr(0, all.size() - sig), ourBlock > 256);
  if (body.size() < kSequenceHeaderSize) refuse("no sequence header");
  return body;
}

}  // namespace zentarc::ua
