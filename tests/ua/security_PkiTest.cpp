// Certificates and the PKI folder: the application certificate made on first start and kept,
// and every way a peer's certificate is refused, with the operator's move from rejected to
// trusted taking effect at the next check.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

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

TEST(SecurityPki, rejectedFolder_holdsABoundedNumberOfCertificates) {
  TempDir dir;
  Pki pki(dir.path());
  std::string error;
  ASSERT_TRUE(pki.loadOrCreateOwn(serverRequest(), error));
  for (size_t i = 0; i < Pki::kMaxRejected + 5; ++i)
    EXPECT_EQ(pki.validate(testCertificate(testKeys().other2048, "urn:test:c" + std::to_string(i)), basic()),
              StatusCode(Status::BadCertificateUntrusted));
  EXPECT_EQ(filesIn(dir.path() / "rejected/certs"), Pki::kMaxRejected);
}
