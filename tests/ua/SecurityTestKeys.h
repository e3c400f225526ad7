#pragma once
// RSA keys for tests, read from tests/ua/data (key generation is slow, more so under the
// sanitizers), and certificates made from them.
#include "server/toolkit/ua/security/Certificate.h"

namespace zentarc::ua {

struct TestKeys {
  crypto::Key rsa2048;
  crypto::Key other2048;
  crypto::Key rsa4096;
  crypto::Key rsa1024;
  Certificate serverCertificate;  // of rsa2048, URI urn:test:server
  Certificate clientCertificate;  // of other2048, URI urn:test:client
};

const TestKeys& testKeys();
// One of the keys in tests/ua/data by file name (without .pem).
crypto::Key testKey(const std::string& name);
// A self-signed certificate for `key` with `uri`, valid from `from` for `span` seconds.
Certificate testCertificate(const crypto::Key& key, const std::string& uri, long from = -3600,
                            long span = 24 * 3600);

}  // namespace zentarc::ua
