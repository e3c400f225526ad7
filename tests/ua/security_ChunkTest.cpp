// Security of each chunk: the layout of padding and signature each mode and policy must
// produce (checked with the primitives directly, not with our own unsecuring), the largest
// body per chunk, and refusal of anything tampered with.
#include <gtest/gtest.h>

#include <cstring>

#include "server/toolkit/ua/UaTcp.h"
#include "tests/ua/SecurityTestKeys.h"

using namespace zentarc::ua;
using namespace zentarc::ua::crypto;

namespace {

SymmetricKeys keysFor(const SecurityPolicy& p, char nonce = 'c') {
  return deriveChannelKeys(p, Bytes(32, nonce), Bytes(32, 's')).client;
}

uint32_t u32(const std::string& s, size_t at) {
  uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}

StatusCode refusal(const std::function<void()>& f) {
  try {
    f();
  } catch (const UaError& e) {
    return e.code();
  }
  return Status::Good;
}

}  // namespace

// SignAndEncrypt: sequence header, body, padding and HMAC are whole AES blocks; every padding
// byte holds the padding's size; the HMAC covers the header with its final size.
TEST(SecurityChunk, symmetricSignAndEncrypt_padsToWholeBlocks_andSignsEverythingBeforeTheSignature) {
  for (const char* name : {"Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"}) {
    const SymmetricKeys keys = keysFor(*securityPolicyByName(name));
    const SymmetricSecurity sec{MessageSecurityMode::SignAndEncrypt, &keys};
    for (size_t bodySize = 0; bodySize < 40; ++bodySize) {
      std::string chunk;
      appendSecuredSymmetricChunk(chunk, "MSG", 'F', 5, 6, 7, 8, std::string(bodySize, 'b'), sec);
      ASSERT_EQ((chunk.size() - 16) % 16, 0u) << name << " " << bodySize;
      EXPECT_EQ(u32(chunk, 4), chunk.size());
      EXPECT_EQ(u32(chunk, 8), 5u);
      EXPECT_EQ(u32(chunk, 12), 6u);
      std::string plain = chunk;
      ASSERT_TRUE(aesCbcDecrypt(keys.encryptingKey, keys.initializationVector, plain.data() + 16, plain.size() - 16));
      EXPECT_EQ(u32(plain, 16), 7u);
      EXPECT_EQ(u32(plain, 20), 8u);
      const size_t sigAt = plain.size() - 32;
      EXPECT_EQ(plain.substr(sigAt), hmacSha256(keys.signingKey, plain.substr(0, sigAt)));
      const size_t pad = static_cast<unsigned char>(plain[sigAt - 1]);
      EXPECT_EQ(24 + bodySize + 1 + pad, sigAt) << "padding fills exactly to the signature";
      EXPECT_LT(pad, 16u);
      for (size_t i = sigAt - 1 - pad; i < sigAt; ++i) EXPECT_EQ(static_cast<unsigned char>(plain[i]), pad);
      // And it comes back whole.
      std::string received = chunk;
      EXPECT_EQ(unsecureSymmetricChunk(received.data(), received.size(), sec).substr(8), std::string(bodySize, 'b'));
    }
  }
}

TEST(SecurityChunk, symmetricSign_hasNoPadding_andTheBodyStaysReadable) {
  const SymmetricKeys keys = keysFor(*securityPolicyByName("Basic256Sha256"));
  const SymmetricSecurity sec{MessageSecurityMode::Sign, &keys};
  std::string chunk;
  appendSecuredSymmetricChunk(chunk, "MSG", 'F', 5, 6, 7, 8, "hello", sec);
  ASSERT_EQ(chunk.size(), 16u + 8 + 5 + 32);
  EXPECT_EQ(chunk.substr(24, 5), "hello");
  EXPECT_EQ(chunk.substr(29), hmacSha256(keys.signingKey, chunk.substr(0, 29)));
}

// The largest body fills a chunk of exactly the agreed size, and one byte more takes two.
TEST(SecurityChunk, largestBodyPerChunk_fillsTheAgreedSize_inEveryMode) {
  const SymmetricKeys keys = keysFor(*securityPolicyByName("Aes256_Sha256_RsaPss"));
  for (MessageSecurityMode mode : {MessageSecurityMode::None, MessageSecurityMode::Sign, MessageSecurityMode::SignAndEncrypt}) {
    for (size_t chunkSize : {8192u, 65536u, 8200u}) {
      const SymmetricSecurity sec{mode, &keys};
      const size_t most = maxSymmetricBody(chunkSize, mode);
      std::string out;
      uint32_t seq = 1;
      ASSERT_TRUE(appendSymmetricChunks(out, "MSG", 1, 1, seq, 1, std::string(most, 'x'), {static_cast<uint32_t>(chunkSize), 0, 0}, &sec));
      EXPECT_EQ(seq, 2u);
      EXPECT_LE(out.size(), chunkSize);
      EXPECT_GT(out.size() + 16, chunkSize) << "room left unused in mode " << int(mode);
      out.clear();
      ASSERT_TRUE(appendSymmetricChunks(out, "MSG", 1, 1, seq, 1, std::string(most + 1, 'x'), {static_cast<uint32_t>(chunkSize), 0, 0}, &sec));
      EXPECT_EQ(seq, 4u);
    }
  }
  EXPECT_EQ(maxSymmetricBody(65536, MessageSecurityMode::SignAndEncrypt), 65479u);
  EXPECT_EQ(maxSymmetricBody(65536, MessageSecurityMode::Sign), 65480u);
  EXPECT_EQ(maxSymmetricBody(65536, MessageSecurityMode::None), 65512u);
}

TEST(SecurityChunk, symmetricChunk_tamperedAnywhere_orWithOtherKeys_isRefused) {
  const SymmetricKeys keys = keysFor(*securityPolicyByName("Basic256Sha256"));
  const SymmetricKeys other = keysFor(*securityPolicyByName("Basic256Sha256"), 'd');
  for (MessageSecurityMode mode : {MessageSecurityMode::Sign, MessageSecurityMode::SignAndEncrypt}) {
    const SymmetricSecurity sec{mode, &keys};
    std::string chunk;
    appendSecuredSymmetricChunk(chunk, "MSG", 'F', 5, 6, 7, 8, std::string(100, 'b'), sec);
    for (size_t at = 0; at < chunk.size(); at += 7) {
      std::string bad = chunk;
      bad[at] ^= 0x01;
      EXPECT_EQ(refusal([&] { unsecureSymmetricChunk(bad.data(), bad.size(), sec); }),
                StatusCode(Status::BadSecurityChecksFailed)) << "byte " << at;
    }
    std::string copy = chunk;
    const SymmetricSecurity wrong{mode, &other};
    EXPECT_EQ(refusal([&] { unsecureSymmetricChunk(copy.data(), copy.size(), wrong); }),
              StatusCode(Status::BadSecurityChecksFailed));
    std::string shortOne = chunk.substr(0, 40);
    EXPECT_EQ(refusal([&] { unsecureSymmetricChunk(shortOne.data(), shortOne.size(), sec); }),
              StatusCode(Status::BadSecurityChecksFailed));
  }
}

// OpenSecureChannel: OAEP blocks of the receiver's key, the sender's signature over the
// headers and plain text, and an extra padding byte when the receiver's key passes 2048 bits.
TEST(SecurityChunk, openChunk_ofEachPolicy_encryptsInReceiverBlocks_andSignsWithTheSendersKey) {
  const TestKeys& k = testKeys();
  const Certificate big = testCertificate(k.rsa4096, "urn:test:big");
  for (const char* name : {"Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"}) {
    const SecurityPolicy& p = *securityPolicyByName(name);
    for (const Certificate* receiver : {&k.clientCertificate, &big}) {
      const Key& receiverKey = receiver == &big ? k.rsa4096 : k.other2048;
      const size_t cipherBlock = receiverKey.sizeBytes();
      const size_t plainBlock = rsaPlainBlockSize(p.asymmetricEncryption, cipherBlock);
      for (size_t bodySize : {0u, 100u, 300u, 1000u}) {
        const AsymmetricSecurity send{&p, &k.rsa2048, k.serverCertificate.der(), receiver};
        std::string chunk;
        ASSERT_TRUE(appendSecuredOpenChunk(chunk, 9, 10, 11, std::string(bodySize, 'o'), send, 65536));
        const Chunk header = parseChunkHeader(chunk.data(), chunk.size());
        EXPECT_EQ(header.securityPolicyUri, p.uri);
        EXPECT_EQ(header.senderCertificate.data, k.serverCertificate.der());
        EXPECT_EQ(header.receiverThumbprint.data, receiver->thumbprint());
        const std::string cipher = chunk.substr(header.securedOffset);
        ASSERT_EQ(cipher.size() % cipherBlock, 0u);
        Bytes plain;
        ASSERT_TRUE(rsaDecrypt(receiverKey, p.asymmetricEncryption, cipher, plain));
        ASSERT_EQ(plain.size() % plainBlock, 0u) << name;
        const size_t sigAt = plain.size() - 256;  // the sender's key is 2048 bits
        EXPECT_TRUE(rsaVerify(k.serverCertificate.publicKey(), p.asymmetricSignature,
                              chunk.substr(0, header.securedOffset) + plain.substr(0, sigAt), plain.substr(sigAt)));
        const bool extra = cipherBlock > 256;
        size_t pad = static_cast<unsigned char>(plain[sigAt - (extra ? 2 : 1)]);
        if (extra) pad |= static_cast<size_t>(static_cast<unsigned char>(plain[sigAt - 1])) << 8;
        EXPECT_EQ(8 + bodySize + pad + (extra ? 2 : 1), sigAt) << name << " body " << bodySize;
        EXPECT_EQ(u32(plain, 0), 10u);
        EXPECT_EQ(u32(plain, 4), 11u);
        // The receiver gets the body back; its own key decrypts and the sender's verifies.
        const AsymmetricSecurity receive{&p, &receiverKey, receiver->der(), &k.serverCertificate};
        std::string kept;
        const std::string_view back = unsecureOpenChunk(chunk.data(), chunk.size(), header.securedOffset, receive, kept);
        EXPECT_EQ(back.substr(8), std::string(bodySize, 'o'));
      }
    }
  }
}

TEST(SecurityChunk, openChunk_tamperedOrSignedByAnotherKey_isRefused_andOneTooLargeIsNotSent) {
  const TestKeys& k = testKeys();
  const SecurityPolicy& p = *securityPolicyByName("Basic256Sha256");
  const AsymmetricSecurity send{&p, &k.rsa2048, k.serverCertificate.der(), &k.clientCertificate};
  std::string chunk;
  ASSERT_TRUE(appendSecuredOpenChunk(chunk, 9, 10, 11, "body", send, 65536));
  const size_t offset = parseChunkHeader(chunk.data(), chunk.size()).securedOffset;
  const AsymmetricSecurity receive{&p, &k.other2048, k.clientCertificate.der(), &k.serverCertificate};
  std::string plain;
  for (size_t at : {size_t{4}, size_t{20}, offset + 3, chunk.size() - 1}) {
    std::string bad = chunk;
    bad[at] ^= 0x01;
    EXPECT_EQ(refusal([&] { unsecureOpenChunk(bad.data(), bad.size(), offset, receive, plain); }),
              StatusCode(Status::BadSecurityChecksFailed)) << "byte " << at;
  }
  // Claimed to come from the client but signed by the server's key.
  const AsymmetricSecurity impostor{&p, &k.other2048, k.clientCertificate.der(), &k.clientCertificate};
  EXPECT_EQ(refusal([&] { unsecureOpenChunk(chunk.data(), chunk.size(), offset, impostor, plain); }),
            StatusCode(Status::BadSecurityChecksFailed));
  std::string big;
  EXPECT_FALSE(appendSecuredOpenChunk(big, 9, 10, 11, std::string(8000, 'x'), send, 8192));
  EXPECT_TRUE(big.empty());
}
