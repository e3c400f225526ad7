// Certificates and the PKI folder: the application certificate made on first start and kept,
// and every way a peer's certificate is refused, with the operator's move from rejected to
// trusted taking effect at the next check.
#include <gtest/gtest.h>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "server/toolkit/ua/security/Pki.h"
#include "tests/support/TempDir.h"
#include "tests/ua/SecurityTestKeys.h"

using namespace zentarc::ua;
using zentarc::testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

CertificateRequest serverRequest() {
  CertificateRequest r;
  r.commonName = "OPCZentarc";
  r.organization = "Tarvelle";
  r.applicationUri = "urn:plant-host:OPCZentarc";
  r.dnsNames = {"plant-host", "localhost"};
  r.ipAddresses = {"127.0.0.1", "::1"};
  return r;
}

mode_t modeOf(const fs::path& p) {
  struct stat st {};
  stat(p.c_str(), &st);
  return st.st_mode & 0777;
}

size_t filesIn(const fs::path& dir) {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

const SecurityPolicy& basic() { return *securityPolicyByName("Basic256Sha256"); }

// The public half of `key` with its exponent replaced by `exponent`.
crypto::Key withExponent(const crypto::Key& key, const BIGNUM* exponent) {
  BIGNUM* n = nullptr;
  EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_N, &n);
  OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n);
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, exponent);
  OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
  EVP_PKEY* out = nullptr;
  EVP_PKEY_fromdata_init(ctx);
  EVP_PKEY_fromdata(ctx, &out, EVP_PKEY_PUBLIC_KEY, params);
  EVP_PKEY_CTX_free(ctx);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  BN_free(n);
  return crypto::Key(std::shared_ptr<EVP_PKEY>(out, EVP_PKEY_free));
}

// A self-named certificate for `subjectKey`, signed by `signer`, saying whether it is a
// certificate authority.
Certificate certificateFor(const crypto::Key& subjectKey, const crypto::Key& signer, bool authority) {
  X509* x = X509_new();
  X509_set_version(x, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x), 7);
  X509_gmtime_adj(X509_getm_notBefore(x), -3600);
  X509_gmtime_adj(X509_getm_notAfter(x), 24 * 3600);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("crafted"), -1, -1, 0);
  X509_set_issuer_name(x, name);
  X509_set_pubkey(x, subjectKey.get());
  X509V3_CTX v3;
  X509V3_set_ctx_nodb(&v3);
  X509V3_set_ctx(&v3, x, x, nullptr, nullptr, 0);
  for (auto [nid, value] : {std::pair{NID_basic_constraints, authority ? "critical,CA:TRUE" : "critical,CA:FALSE"},
                            std::pair{NID_subject_alt_name, "URI:urn:test:crafted"}}) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
    X509_add_ext(x, ext, -1);
    X509_EXTENSION_free(ext);
  }
  X509_sign(x, signer.get(), EVP_sha256());
  unsigned char* der = nullptr;
  const int n = i2d_X509(x, &der);
  const Certificate c = Certificate::fromDer(std::string(reinterpret_cast<char*>(der), static_cast<size_t>(n)));
  OPENSSL_free(der);
  X509_free(x);
  return c;
}

}  // namespace

TEST(SecurityPki, selfSignedCertificate_carriesUriNamesAndAddresses_andVerifies) {
  const Certificate& c = testKeys().serverCertificate;
  ASSERT_TRUE(c);
  EXPECT_EQ(c.applicationUri(), "urn:test:server");
  EXPECT_EQ(c.commonName(), "server");
  EXPECT_EQ(c.keyBits(), 2048u);
  EXPECT_TRUE(c.selfSigned());
  EXPECT_TRUE(c.signedBy(c.publicKey()));
  EXPECT_FALSE(c.signedBy(testKeys().other2048));
  EXPECT_EQ(c.thumbprint(), crypto::sha1(c.der()));
  EXPECT_EQ(c.validityAt(std::time(nullptr)), 0);
  EXPECT_EQ(c.validityAt(std::time(nullptr) - 7200), -1);
  EXPECT_EQ(c.validityAt(std::time(nullptr) + 2 * 24 * 3600), 1);
  // A chain: the first certificate counts, and its own DER is kept.
  const Certificate first = Certificate::fromDer(c.der() + testKeys().clientCertificate.der());
  EXPECT_EQ(first.der(), c.der());
  EXPECT_FALSE(Certificate::fromDer("not a certificate"));
  EXPECT_FALSE(Certificate::fromDer(c.der().substr(0, 100)));
}

TEST(SecurityPki, ownCertificate_isMadeOnFirstStart_keptAfterwards_keyReadableByOwnerOnly) {
  TempDir dir;
  const fs::path root = dir.path() / "pki";
  std::string error;
  Pki first(root, "OPCZentarc");
  ASSERT_TRUE(first.loadOrCreateOwn(serverRequest(), error)) << error;
  const Certificate& c = first.ownCertificate();
  EXPECT_EQ(c.applicationUri(), "urn:plant-host:OPCZentarc");
  EXPECT_EQ(c.keyBits(), 2048u);
  EXPECT_TRUE(fs::exists(root / "own/certs/OPCZentarc.der"));
  EXPECT_EQ(modeOf(root / "own/private/OPCZentarc.pem"), 0600u);
  EXPECT_EQ(modeOf(root / "own/private"), 0700u);
  for (const char* d : {"trusted/certs", "rejected/certs"}) EXPECT_TRUE(fs::is_directory(root / d)) << d;
  Pki again(root, "OPCZentarc");
  ASSERT_TRUE(again.loadOrCreateOwn(serverRequest(), error));
  EXPECT_EQ(again.ownCertificate().der(), c.der());
  // A key that does not belong to the certificate: both are made afresh.
  fs::copy_file(root / "own/private/OPCZentarc.pem", dir.path() / "old.pem");
  Pki other(dir.path() / "other", "OPCZentarc");
  ASSERT_TRUE(other.loadOrCreateOwn(serverRequest(), error));
  fs::copy_file(dir.path() / "other/own/private/OPCZentarc.pem", root / "own/private/OPCZentarc.pem",
                fs::copy_options::overwrite_existing);
  Pki mismatched(root, "OPCZentarc");
  ASSERT_TRUE(mismatched.loadOrCreateOwn(serverRequest(), error));
  EXPECT_NE(mismatched.ownCertificate().der(), c.der());
  EXPECT_TRUE(mismatched.ownCertificate().signedBy(mismatched.ownKey()));
}

TEST(SecurityPki, ownCertificate_inAFolderThatCannotBeMade_isAClearError) {
  TempDir dir;
  const fs::path blocker = dir.write("file", "x");
  Pki pki(blocker / "pki");
  std::string error;
  EXPECT_FALSE(pki.loadOrCreateOwn(serverRequest(), error));
  EXPECT_NE(error.find("cannot make the PKI folder"), std::string::npos) << error;
}

TEST(SecurityPki, unknownCertificate_isUntrustedAndRejected_untilMovedToTrusted) {
  TempDir dir;
  Pki pki(dir.path());
  std::string error;
  ASSERT_TRUE(pki.loadOrCreateOwn(serverRequest(), error));
  const Certificate& client = testKeys().clientCertificate;
  EXPECT_EQ(pki.validate(client, basic()), StatusCode(Status::BadCertificateUntrusted));
  const fs::path rejected = dir.path() / "rejected/certs" / certificateFileName(client);
  ASSERT_TRUE(fs::exists(rejected));
  EXPECT_EQ(pki.validate(client, basic()), StatusCode(Status::BadCertificateUntrusted));
  EXPECT_EQ(filesIn(dir.path() / "rejected/certs"), 1u);  // kept once
  // The operator's move takes effect at the next check.
  fs::rename(rejected, dir.path() / "trusted/certs" / rejected.filename());
  EXPECT_TRUE(pki.validate(client, basic()).isGood());
  // PEM files count as well; a removal untrusts again.
  fs::remove(dir.path() / "trusted/certs" / rejected.filename());
  EXPECT_EQ(pki.validate(client, basic()), StatusCode(Status::BadCertificateUntrusted));
}

TEST(SecurityPki, expiredNotYetValidBadlySignedAndWeakCertificates_getTheirOwnStatus) {
  TempDir dir;
  Pki pki(dir.path());
  std::string error;
  ASSERT_TRUE(pki.loadOrCreateOwn(serverRequest(), error));
  const crypto::Key& key = testKeys().other2048;
  const Certificate expired = testCertificate(key, "urn:test:expired", -10 * 24 * 3600, 24 * 3600);
  const Certificate future = testCertificate(key, "urn:test:future", 24 * 3600, 24 * 3600);
  const Certificate weak = testCertificate(testKeys().rsa1024, "urn:test:weak");
  std::string der = testCertificate(key, "urn:test:tampered").der();
  der[der.size() - 5] ^= 0x55;  // inside the signature
  const Certificate tampered = Certificate::fromDer(der);
  ASSERT_TRUE(tampered);
  for (const Certificate* c : {&expired, &future, &weak, &tampered})
    fs::copy_file(dir.write("tmp", c->der()), dir.path() / "trusted/certs" / certificateFileName(*c));
  EXPECT_EQ(pki.validate(expired, basic()), StatusCode(Status::BadCertificateTimeInvalid));
  EXPECT_EQ(pki.validate(future, basic()), StatusCode(Status::BadCertificateTimeInvalid));
  EXPECT_EQ(pki.validate(weak, basic()), StatusCode(Status::BadCertificatePolicyCheckFailed));
  EXPECT_EQ(pki.validate(tampered, basic()), StatusCode(Status::BadCertificateInvalid));
  EXPECT_EQ(pki.validate(Certificate(), basic()), StatusCode(Status::BadCertificateInvalid));
  // The clock decides: the expired one was fine ten days ago.
  pki.setClock([] { return std::time(nullptr) - 9 * 24 * 3600 - 12 * 3600; });
  EXPECT_TRUE(pki.validate(expired, basic()).isGood());
}

TEST(SecurityPki, rejectedFolder_keepsTheNewestCertificates_andSaysWhetherACopyWasMade) {
  TempDir dir;
  Pki pki(dir.path());
  std::string error;
  ASSERT_TRUE(pki.loadOrCreateOwn(serverRequest(), error));
  const fs::path rejected = dir.path() / "rejected/certs";
  std::vector<Certificate> flood;
  for (size_t i = 0; i < Pki::kMaxRejected + 5; ++i) {
    flood.push_back(testCertificate(testKeys().other2048, "urn:test:c" + std::to_string(i)));
    bool copied = false;
    EXPECT_EQ(pki.validate(flood.back(), basic(), &copied), StatusCode(Status::BadCertificateUntrusted));
    EXPECT_TRUE(copied) << i;
    // Distinct modification times, so that "oldest" means the first refused.
    fs::last_write_time(rejected / certificateFileName(flood.back()),
                        fs::file_time_type::clock::now() - std::chrono::hours(200) + std::chrono::seconds(i));
  }
  EXPECT_EQ(filesIn(rejected), Pki::kMaxRejected);
  // The application an operator is waiting for is there after a flood; the oldest ones went.
  EXPECT_TRUE(fs::exists(rejected / certificateFileName(flood.back())));
  EXPECT_FALSE(fs::exists(rejected / certificateFileName(flood.front())));
  EXPECT_TRUE(fs::exists(rejected / certificateFileName(flood[5])));
  // When no copy can be made, validate says so.
  fs::remove_all(rejected);
  dir.write("rejected/certs", "not a folder");
  bool copied = true;
  EXPECT_EQ(pki.validate(testKeys().clientCertificate, basic(), &copied), StatusCode(Status::BadCertificateUntrusted));
  EXPECT_FALSE(copied);
}

TEST(SecurityPki, hugeExponentsAndAuthorities_areRefusedBeforeTheSignatureIsChecked) {
  TempDir dir;
  Pki pki(dir.path());
  std::string error;
  ASSERT_TRUE(pki.loadOrCreateOwn(serverRequest(), error));
  const crypto::Key& key = testKeys().other2048;
  // 2^32 + 15: a public exponent that makes each signature check slow. The certificate is
  // trusted and badly signed; the exponent is what it is refused for.
  BIGNUM* e = BN_new();
  BN_set_word(e, 15);
  BN_set_bit(e, 32);
  const Certificate slow = certificateFor(withExponent(key, e), key, false);
  BN_set_word(e, 65537);
  const Certificate usual = certificateFor(withExponent(key, e), key, false);
  BN_free(e);
  const Certificate authority = certificateFor(key, key, true);
  for (const Certificate* c : {&slow, &usual, &authority}) {
    ASSERT_TRUE(*c);
    fs::copy_file(dir.write("tmp", c->der()), dir.path() / "trusted/certs" / certificateFileName(*c),
                  fs::copy_options::overwrite_existing);
  }
  EXPECT_FALSE(slow.usualPublicExponent());
  EXPECT_EQ(pki.validate(slow, basic()), StatusCode(Status::BadCertificatePolicyCheckFailed));
  EXPECT_TRUE(usual.usualPublicExponent());
  EXPECT_TRUE(pki.validate(usual, basic()).isGood());
  // A self-signed certificate authority is no application's certificate.
  EXPECT_TRUE(authority.certificateAuthority());
  EXPECT_FALSE(usual.certificateAuthority());
  EXPECT_EQ(pki.validate(authority, basic()), StatusCode(Status::BadCertificateUseNotAllowed));
}

TEST(SecurityPki, recheck_followsTheTrustListAndTheClock) {
  TempDir dir;
  Pki pki(dir.path());
  std::string error;
  ASSERT_TRUE(pki.loadOrCreateOwn(serverRequest(), error));
  const Certificate& client = testKeys().clientCertificate;
  const fs::path trusted = dir.path() / "trusted/certs/client.der";
  fs::copy_file(dir.write("tmp", client.der()), trusted);
  ASSERT_TRUE(pki.validate(client, basic()).isGood());
  EXPECT_TRUE(pki.recheck(client).isGood());
  pki.setClock([] { return std::time(nullptr) + 2 * 24 * 3600; });
  EXPECT_EQ(pki.recheck(client), StatusCode(Status::BadCertificateTimeInvalid));
  pki.setClock([] { return std::time(nullptr); });
  fs::remove(trusted);
  EXPECT_EQ(pki.recheck(client), StatusCode(Status::BadCertificateUntrusted));
  // A recheck never copies to rejected/certs: the operator took it out on purpose.
  EXPECT_EQ(filesIn(dir.path() / "rejected/certs"), 0u);
}
