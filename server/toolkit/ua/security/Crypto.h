#pragma once
// The cryptographic primitives of the OPC UA security policies, on OpenSSL 3: random bytes,
// hashes, HMAC-SHA256, the P_SHA256 key derivation, AES-CBC without padding (the channel pads
// by its own rules), and RSA signatures (PKCS#1 v1.5 or PSS, SHA-256) and encryption (OAEP
// with SHA-1 or SHA-256) in the block layout the secure channel uses. Nothing here is our own
// cryptography: every operation is one OpenSSL call.
#include <memory>
#include <string>
#include <string_view>

typedef struct evp_pkey_st EVP_PKEY;

namespace zentarc::ua::crypto {

using Bytes = std::string;

// An RSA key: a private key (which also holds the public one) or a public key alone.
class Key {
 public:
  Key() = default;
  explicit Key(std::shared_ptr<EVP_PKEY> key) : key_(std::move(key)) {}
  // A private key in PEM; empty on failure.
  static Key fromPrivatePem(std::string_view pem);
  // A new RSA private key of `bits`.
  static Key generateRsa(int bits);
  Bytes privatePem() const;

  explicit operator bool() const { return key_ != nullptr; }
  EVP_PKEY* get() const { return key_.get(); }
  // The modulus in bytes (256 for RSA 2048): the size of a signature and of a cipher block.
  size_t sizeBytes() const;

 private:
  std::shared_ptr<EVP_PKEY> key_;
};

enum class Signature { RsaPkcs1Sha256, RsaPssSha256 };
enum class Encryption { RsaOaepSha1, RsaOaepSha256 };

Bytes randomBytes(size_t n);
Bytes sha1(std::string_view data);
Bytes sha256(std::string_view data);
Bytes hmacSha256(std::string_view key, std::string_view data);
// P_SHA256(secret, seed) of the TLS 1.2 PRF, without label: `length` bytes.
Bytes pSha256(std::string_view secret, std::string_view seed, size_t length);
// Equal contents, in time that does not depend on where they differ.
bool equalInConstantTime(std::string_view a, std::string_view b);

// AES-CBC (128 or 256 by the key's length) over data whose length is a multiple of 16, in
// place. False on a wrong key, IV or length.
bool aesCbcEncrypt(std::string_view key, std::string_view iv, char* data, size_t size);
bool aesCbcDecrypt(std::string_view key, std::string_view iv, char* data, size_t size);

Bytes rsaSign(const Key& privateKey, Signature kind, std::string_view data);
bool rsaVerify(const Key& publicKey, Signature kind, std::string_view data, std::string_view signature);

// Plain bytes one RSA block carries with this padding, for a key of `keyBytes`.
size_t rsaPlainBlockSize(Encryption kind, size_t keyBytes);
// Encrypts `plain` block by block (each at most rsaPlainBlockSize, each giving keyBytes).
bool rsaEncrypt(const Key& publicKey, Encryption kind, std::string_view plain, Bytes& out);
// Decrypts whole blocks of keyBytes each; false if any block does not decrypt.
bool rsaDecrypt(const Key& privateKey, Encryption kind, std::string_view cipher, Bytes& out);

}  // namespace zentarc::ua::crypto
