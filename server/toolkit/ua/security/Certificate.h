#pragma once
// An X.509 application instance certificate: parsed from DER (the first of a chain), with
// what the secure channel and the sessions ask of it, and the making of a self-signed one.
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/toolkit/ua/security/Crypto.h"

typedef struct x509_st X509;

namespace zentarc::ua {

struct CertificateRequest {
  std::string commonName;
  std::string organization;
  std::string applicationUri;
  std::vector<std::string> dnsNames;
  std::vector<std::string> ipAddresses;
  int keyBits = 2048;
  long validFromSeconds = -3600;  // relative to now: a little in the past for clock skew
  long validForSeconds = 5L * 365 * 24 * 3600;
};

class Certificate {
 public:
  Certificate() = default;
  // The first certificate of `der` (a chain may follow); empty when it does not parse.
  static Certificate fromDer(std::string_view der);
  // A PEM or DER file's contents.
  static Certificate fromFileContents(std::string_view bytes);
  // A new self-signed certificate for `key`, SHA-256 signed, with the usual extensions of an
  // application instance certificate and subjectAltName URI, DNS names and IP addresses.
  static Certificate makeSelfSigned(const CertificateRequest& request, const crypto::Key& key);

  explicit operator bool() const { return cert_ != nullptr; }
  const std::string& der() const { return der_; }
  std::string thumbprint() const { return crypto::sha1(der_); }
  crypto::Key publicKey() const;
  size_t keyBits() const;
  // An RSA key whose public exponent is at most 2^32 (the usual one is 65537): a larger one
  // makes every check of a signature slow.
  bool usualPublicExponent() const;
  // Whether the certificate says it belongs to a certificate authority (CA:TRUE).
  bool certificateAuthority() const;
  std::string applicationUri() const;  // the first URI of subjectAltName
  std::string commonName() const;
  // -1 not yet valid at `t`, 1 expired at `t`, 0 valid.
  int validityAt(std::time_t t) const;
  bool selfSigned() const;
  // Whether the certificate's own signature verifies with `issuerKey`.
  bool signedBy(const crypto::Key& issuerKey) const;

 private:
  std::shared_ptr<X509> cert_;
  std::string der_;
};

}  // namespace zentarc::ua
