#include "tests/ua/SecurityTestKeys.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zentarc::ua {

Certificate testCertificate(const crypto::Key& key, const std::string& uri, long from, long span) {
  CertificateRequest r;
  r.commonName = uri.substr(uri.rfind(':') + 1);
  r.organization = "Test";
  r.applicationUri = uri;
  r.dnsNames = {"localhost"};
  r.ipAddresses = {"127.0.0.1"};
  r.validFromSeconds = from;
  r.validForSeconds = span;
  return Certificate::makeSelfSigned(r, key);
}

crypto::Key testKey(const std::string& name) {
  std::ifstream in(std::string(ZENTARC_TEST_KEYS) + "/" + name + ".pem", std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  crypto::Key k = crypto::Key::fromPrivatePem(pem);
  if (!k) throw std::runtime_error("test key " + name + " missing");
  return k;
}

const TestKeys& testKeys() {
  static const TestKeys keys = [] {
    TestKeys k;
    k.rsa2048 = testKey("server2048");
    k.other2048 = testKey("client2048");
    k.rsa4096 = testKey("big4096");
    k.rsa1024 = testKey("weak1024");
    k.serverCertificate = testCertificate(k.rsa2048, "urn:test:server");
    k.clientCertificate = testCertificate(k.other2048, "urn:test:client");
    return k;
  }();
  return keys;
}

}  // namespace zentarc::ua
