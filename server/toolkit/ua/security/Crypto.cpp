#include "server/toolkit/ua/security/Crypto.h"

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <stdexcept>

namespace zentarc::ua::crypto {

namespace {

struct CtxFree {
  void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
  void operator()(EVP_KDF_CTX* c) const { EVP_KDF_CTX_free(c); }
  void operator()(EVP_KDF* k) const { EVP_KDF_free(k); }
  void operator()(BIO* b) const { BIO_free(b); }
};
template <class T>
using Owned = std::unique_ptr<T, CtxFree>;

const unsigned char* u(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

Bytes digest(const EVP_MD* md, std::string_view data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (EVP_Digest(data.data(), data.size(), out, &n, md, nullptr) != 1) throw std::runtime_error("digest failed");
  return Bytes(reinterpret_cast<char*>(out), n);
}

// Sets the padding of a signing or verifying context.
bool setSignaturePadding(EVP_PKEY_CTX* ctx, Signature kind) {
  if (kind == Signature::RsaPkcs1Sha256) return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1;
  return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING) == 1 &&
         EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha256()) == 1;
}

bool setEncryptionPadding(EVP_PKEY_CTX* ctx, Encryption kind) {
  const EVP_MD* md = kind == Encryption::RsaOaepSha1 ? EVP_sha1() : EVP_sha256();
  return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) == 1 &&
         EVP_PKEY_CTX_set_rsa_oaep_md(ctx, md) == 1 && EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, md) == 1;
}

bool aesCbc(std::string_view key, std::string_view iv, char* data, size_t size, bool encrypt) {
  const EVP_CIPHER* cipher = key.size() == 32 ? EVP_aes_256_cbc() : key.size() == 16 ? EVP_aes_128_cbc() : nullptr;
  if (!cipher || iv.size() != 16 || size % 16 != 0) return false;
  Owned<EVP_CIPHER_CTX> ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, u(key), u(iv), encrypt ? 1 : 0) != 1) return false;
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  unsigned char* p = reinterpret_cast<unsigned char*>(data);
  int out = 0, last = 0;
  if (EVP_CipherUpdate(ctx.get(), p, &out, p, static_cast<int>(size)) != 1) return false;
  if (EVP_CipherFinal_ex(ctx.get(), p + out, &last) != 1) return false;
  return static_cast<size_t>(out + last) == size;
}

}  // namespace

Key Key::fromPrivatePem(std::string_view pem) {
  Owned<BIO> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return {};
  EVP_PKEY* k = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr);
  if (!k) return {};
  return Key(std::shared_ptr<EVP_PKEY>(k, EVP_PKEY_free));
}

Key Key::generateRsa(int bits) {
  EVP_PKEY* k = EVP_RSA_gen(static_cast<unsigned int>(bits));
  if (!k) return {};
  return Key(std::shared_ptr<EVP_PKEY>(k, EVP_PKEY_free));
}

Bytes Key::privatePem() const {
  if (!key_) return {};
  Owned<BIO> bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), key_.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
    return {};
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return Bytes(data, static_cast<size_t>(n));
}

size_t Key::sizeBytes() const { return key_ ? static_cast<size_t>(EVP_PKEY_get_size(key_.get())) : 0; }

Bytes randomBytes(size_t n) {
  Bytes out(n, '\0');
  if (n && RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(n)) != 1)
    throw std::runtime_error("no random bytes");
  return out;
}

Bytes sha1(std::string_view data) { return digest(EVP_sha1(), data); }
Bytes sha256(std::string_view data) { return digest(EVP_sha256(), data); }

Bytes hmacSha256(std::string_view key, std::string_view data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), u(data), data.size(), out, &n))
    throw std::runtime_error("HMAC failed");
  return Bytes(reinterpret_cast<char*>(out), n);
}

Bytes pSha256(std::string_view secret, std::string_view seed, size_t length) {
  // The TLS 1.2 PRF with an empty label is exactly P_SHA256(secret, seed).
  Owned<EVP_KDF> kdf(EVP_KDF_fetch(nullptr, "TLS1-PRF", nullptr));
  Owned<EVP_KDF_CTX> ctx(kdf ? EVP_KDF_CTX_new(kdf.get()) : nullptr);
  if (!ctx) throw std::runtime_error("no TLS1-PRF");
  char sha256Name[] = "SHA256";
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, sha256Name, 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SECRET, const_cast<char*>(secret.data()), secret.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SEED, const_cast<char*>(seed.data()), seed.size()),
      OSSL_PARAM_construct_end()};
  Bytes out(length, '\0');
  if (EVP_KDF_derive(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), length, params) != 1)
    throw std::runtime_error("key derivation failed");
  return out;
}

bool equalInConstantTime(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

bool aesCbcEncrypt(std::string_view key, std::string_view iv, char* data, size_t size) {
  return aesCbc(key, iv, data, size, true);
}

bool aesCbcDecrypt(std::string_view key, std::string_view iv, char* data, size_t size) {
  return aesCbc(key, iv, data, size, false);
}

Bytes rsaSign(const Key& key, Signature kind, std::string_view data) {
  if (!key) return {};
  Owned<EVP_MD_CTX> md(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pctx = nullptr;
  if (!md || EVP_DigestSignInit(md.get(), &pctx, EVP_sha256(), nullptr, key.get()) != 1) return {};
  if (!setSignaturePadding(pctx, kind)) return {};
  if (kind == Signature::RsaPssSha256 && EVP_PKEY_CTX_set_rsa_pss_saltlen(pctx, RSA_PSS_SALTLEN_DIGEST) != 1)
    return {};
  size_t n = 0;
  if (EVP_DigestSign(md.get(), nullptr, &n, u(data), data.size()) != 1) return {};
  Bytes out(n, '\0');
  if (EVP_DigestSign(md.get(), reinterpret_cast<unsigned char*>(out.data()), &n, u(data), data.size()) != 1)
    return {};
  out.resize(n);
  return out;
}

bool rsaVerify(const Key& key, Signature kind, std::string_view data, std::string_view signature) {
  if (!key) return false;
  Owned<EVP_MD_CTX> md(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pctx = nullptr;
  if (!md || EVP_DigestVerifyInit(md.get(), &pctx, EVP_sha256(), nullptr, key.get()) != 1) return false;
  if (!setSignaturePadding(pctx, kind)) return false;
  if (kind == Signature::RsaPssSha256 && EVP_PKEY_CTX_set_rsa_pss_saltlen(pctx, RSA_PSS_SALTLEN_AUTO) != 1)
    return false;
  return EVP_DigestVerify(md.get(), u(signature), signature.size(), u(data), data.size()) == 1;
}

size_t rsaPlainBlockSize(Encryption kind, size_t keyBytes) {
  // OAEP takes two hashes and two bytes of each block.
  const size_t overhead = kind == Encryption::RsaOaepSha1 ? 42 : 66;
  return keyBytes > overhead ? keyBytes - overhead : 0;
}

bool rsaEncrypt(const Key& key, Encryption kind, std::string_view plain, Bytes& out) {
  const size_t keyBytes = key.sizeBytes();
  const size_t block = rsaPlainBlockSize(kind, keyBytes);
  if (!key || block == 0) return false;
  Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 || !setEncryptionPadding(ctx.get(), kind)) return false;
  out.clear();
  out.reserve((plain.size() + block - 1) / block * keyBytes);
  for (size_t at = 0; at < plain.size(); at += block) {
    const std::string_view piece = plain.substr(at, block);
    size_t n = keyBytes;
    const size_t start = out.size();
    out.resize(start + keyBytes);
    if (EVP_PKEY_encrypt(ctx.get(), reinterpret_cast<unsigned char*>(&out[start]), &n, u(piece), piece.size()) != 1 ||
        n != keyBytes)
      return false;
  }
  return true;
}

bool rsaDecrypt(const Key& key, Encryption kind, std::string_view cipher, Bytes& out) {
  const size_t keyBytes = key.sizeBytes();
  if (!key || keyBytes == 0 || cipher.size() % keyBytes != 0) return false;
  Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 || !setEncryptionPadding(ctx.get(), kind)) return false;
  out.clear();
  out.reserve(cipher.size());
  Bytes block(keyBytes, '\0');
  for (size_t at = 0; at < cipher.size(); at += keyBytes) {
    size_t n = keyBytes;
    if (EVP_PKEY_decrypt(ctx.get(), reinterpret_cast<unsigned char*>(block.data()), &n, u(cipher.substr(at, keyBytes)),
                         keyBytes) != 1)
      return false;
    out.append(block.data(), n);
  }
  return true;
}

}  // namespace zentarc::ua::crypto
