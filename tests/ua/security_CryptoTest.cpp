// The primitives of the security policies against published known answers (the TLS 1.2
// PRF, NIST AES-CBC and RFC 4231 HMAC vectors), the key derivation of each policy, and the
// rules of RSA signatures and OAEP blocks.
#include <gtest/gtest.h>

#include "server/toolkit/ua/security/SecurityPolicy.h"
#include "tests/ua/SecurityTestKeys.h"

using namespace zentarc::ua;
using namespace zentarc::ua::crypto;

namespace {

Bytes unhex(std::string_view h) {
  Bytes out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(static_cast<char>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
  return out;
}

Bytes counting(int from, int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<char>(from + i));
  return out;
}

}  // namespace

TEST(SecurityCrypto, pSha256_matchesTheTlsPrfVector) {
  // The TLS 1.2 PRF with SHA-256 is P_SHA256(secret, label + seed).
  const Bytes out = pSha256(unhex("9bbe436ba940f017b17652849a71db35"),
                            "test label" + unhex("a0ba9f936cda311827a6f796ffd5198c"), 100);
  EXPECT_EQ(out, unhex("e3f229ba727be17b8d122620557cd453c2aab21d07c3d495329b52d4e61edb5a6b301791e90d35c9"
                       "c9a46b4e14baf9af0fa022f7077def17abfd3797c0564bab4fbc91666e9def9b97fce34f796789baa4"
                       "8082d122ee42c5a72e5a5110fff70187347b66"));
  EXPECT_EQ(pSha256("s", "t", 7), pSha256("s", "t", 40).substr(0, 7));  // a shorter one is a prefix
}

// Client keys come from P_SHA256(serverNonce, clientNonce), server keys from
// P_SHA256(clientNonce, serverNonce); each is signing key, encrypting key, IV.
TEST(SecurityCrypto, channelKeys_ofEachPolicy_splitTheDerivedBytesInOrder) {
  const Bytes clientNonce = counting(0, 32), serverNonce = counting(100, 32);
  const Bytes client = unhex("0461e2ffc8cb6200931fefe017c5646e97c41b410ef761d19f68a0d2bdc5490808ae3502efaea3dd"
                             "35034f74e974bfcb5ba19b042806550161b9b3391eb63dc07d34dd12004135107e4f07854cc86e8c");
  const Bytes server = unhex("5d667f3542df4c0d18c2edc05d8fecbf7beb6a0a0403e76e1e91719689d1ecd81cdf20ea13703954"
                             "5580dbadc02dc68572e6506f48406debe0a2f12bc59e7c015e6332cea56dc081cef88b3e8fc6629c");
  for (const char* name : {"Basic256Sha256", "Aes256_Sha256_RsaPss"}) {
    const ChannelKeys k = deriveChannelKeys(*securityPolicyByName(name), clientNonce, serverNonce);
    EXPECT_EQ(k.client.signingKey, client.substr(0, 32)) << name;
    EXPECT_EQ(k.client.encryptingKey, client.substr(32, 32)) << name;
    EXPECT_EQ(k.client.initializationVector, client.substr(64, 16)) << name;
    EXPECT_EQ(k.server.signingKey, server.substr(0, 32)) << name;
    EXPECT_EQ(k.server.encryptingKey, server.substr(32, 32)) << name;
    EXPECT_EQ(k.server.initializationVector, server.substr(64, 16)) << name;
  }
  const ChannelKeys k = deriveChannelKeys(*securityPolicyByName("Aes128_Sha256_RsaOaep"), clientNonce, serverNonce);
  EXPECT_EQ(k.client.encryptingKey, client.substr(32, 16));
  EXPECT_EQ(k.client.initializationVector, client.substr(48, 16));
  EXPECT_EQ(k.server.initializationVector, server.substr(48, 16));
}

TEST(SecurityCrypto, aesCbc_matchesNistVectors_andRefusesBadLengths) {
  const Bytes iv = unhex("000102030405060708090a0b0c0d0e0f");
  Bytes block = unhex("6bc1bee22e409f96e93d7e117393172a");
  ASSERT_TRUE(aesCbcEncrypt(unhex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4"), iv,
                            block.data(), block.size()));
  EXPECT_EQ(block, unhex("f58c4c04d6e5f1ba779eabfb5f7bfbd6"));
  block = unhex("6bc1bee22e409f96e93d7e117393172a");
  ASSERT_TRUE(aesCbcEncrypt(unhex("2b7e151628aed2a6abf7158809cf4f3c"), iv, block.data(), block.size()));
  EXPECT_EQ(block, unhex("7649abac8119b246cee98e9b12e9197d"));
  ASSERT_TRUE(aesCbcDecrypt(unhex("2b7e151628aed2a6abf7158809cf4f3c"), iv, block.data(), block.size()));
  EXPECT_EQ(block, unhex("6bc1bee22e409f96e93d7e117393172a"));
  Bytes odd(17, 'x');
  EXPECT_FALSE(aesCbcEncrypt(Bytes(32, 'k'), iv, odd.data(), odd.size()));
  EXPECT_FALSE(aesCbcEncrypt(Bytes(24, 'k'), iv, block.data(), block.size()));
  EXPECT_FALSE(aesCbcEncrypt(Bytes(32, 'k'), "short", block.data(), block.size()));
}

TEST(SecurityCrypto, hmacSha256_matchesRfc4231) {
  EXPECT_EQ(hmacSha256("Jefe", "what do ya want for nothing?"),
            unhex("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));
  EXPECT_TRUE(equalInConstantTime("abc", "abc"));
  EXPECT_FALSE(equalInConstantTime("abc", "abd"));
  EXPECT_FALSE(equalInConstantTime("abc", "ab"));
}

TEST(SecurityCrypto, rsaSignatures_pkcs1IsDeterministic_pssIsNot_bothVerifyOnlyTheirData) {
  const Key& key = testKeys().rsa2048;
  const Bytes a = rsaSign(key, Signature::RsaPkcs1Sha256, "message");
  EXPECT_EQ(a.size(), 256u);
  EXPECT_EQ(a, rsaSign(key, Signature::RsaPkcs1Sha256, "message"));
  EXPECT_TRUE(rsaVerify(key, Signature::RsaPkcs1Sha256, "message", a));
  EXPECT_FALSE(rsaVerify(key, Signature::RsaPkcs1Sha256, "messagf", a));
  EXPECT_FALSE(rsaVerify(key, Signature::RsaPssSha256, "message", a));
  const Bytes p = rsaSign(key, Signature::RsaPssSha256, "message");
  EXPECT_EQ(p.size(), 256u);
  EXPECT_NE(p, rsaSign(key, Signature::RsaPssSha256, "message"));  // a random salt each time
  EXPECT_TRUE(rsaVerify(key, Signature::RsaPssSha256, "message", p));
  EXPECT_FALSE(rsaVerify(testKeys().other2048, Signature::RsaPssSha256, "message", p));
}

TEST(SecurityCrypto, rsaOaep_blocksCarryKeySizeLessTheHashes_andRoundTrip) {
  EXPECT_EQ(rsaPlainBlockSize(Encryption::RsaOaepSha1, 256), 214u);
  EXPECT_EQ(rsaPlainBlockSize(Encryption::RsaOaepSha256, 256), 190u);
  EXPECT_EQ(rsaPlainBlockSize(Encryption::RsaOaepSha1, 512), 470u);
  EXPECT_EQ(rsaPlainBlockSize(Encryption::RsaOaepSha256, 512), 446u);
  const Key& key = testKeys().rsa2048;
  for (Encryption kind : {Encryption::RsaOaepSha1, Encryption::RsaOaepSha256}) {
    const Bytes plain = counting(0, 2 * static_cast<int>(rsaPlainBlockSize(kind, 256)) + 5);  // three blocks
    Bytes cipher, back;
    ASSERT_TRUE(rsaEncrypt(key, kind, plain, cipher));
    EXPECT_EQ(cipher.size(), 3 * 256u);
    ASSERT_TRUE(rsaDecrypt(key, kind, cipher, back));
    EXPECT_EQ(back, plain);
    const Encryption otherKind = kind == Encryption::RsaOaepSha1 ? Encryption::RsaOaepSha256 : Encryption::RsaOaepSha1;
    EXPECT_FALSE(rsaDecrypt(key, otherKind, cipher, back));
    cipher[10] ^= 1;
    EXPECT_FALSE(rsaDecrypt(key, kind, cipher, back));
    EXPECT_FALSE(rsaDecrypt(key, kind, cipher.substr(0, 255), back));  // not whole blocks
  }
}

TEST(SecurityCrypto, policies_areKnownByNameAndUri_withTheirAlgorithms) {
  const SecurityPolicy* pss = securityPolicyByName("Aes256_Sha256_RsaPss");
  ASSERT_NE(pss, nullptr);
  EXPECT_EQ(securityPolicyByUri("http://opcfoundation.org/UA/SecurityPolicy#Aes256_Sha256_RsaPss"), pss);
  EXPECT_EQ(pss->asymmetricSignature, Signature::RsaPssSha256);
  EXPECT_EQ(pss->asymmetricEncryption, Encryption::RsaOaepSha256);
  EXPECT_EQ(std::string(pss->asymmetricEncryptionUri), "http://opcfoundation.org/UA/security/rsa-oaep-sha2-256");
  const SecurityPolicy* basic = securityPolicyByName("Basic256Sha256");
  EXPECT_EQ(basic->asymmetricSignature, Signature::RsaPkcs1Sha256);
  EXPECT_EQ(std::string(basic->asymmetricSignatureUri), "http://www.w3.org/2001/04/xmldsig-more#rsa-sha256");
  EXPECT_EQ(std::string(basic->asymmetricEncryptionUri), "http://www.w3.org/2001/04/xmlenc#rsa-oaep");
  EXPECT_EQ(securityPolicyByName("Aes128_Sha256_RsaOaep")->encryptingKeyLength, 16u);
  EXPECT_FALSE(noneSecurityPolicy().secure);
  EXPECT_EQ(securityPolicyByName("Basic128Rsa15"), nullptr);  // deprecated, not offered
  EXPECT_EQ(securityPolicyByUri("http://opcfoundation.org/UA/SecurityPolicy#Basic256"), nullptr);
}
