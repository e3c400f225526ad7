#include "server/toolkit/ua/security/Certificate.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace zentarc::ua {

namespace {

std::shared_ptr<X509> own(X509* x) { return std::shared_ptr<X509>(x, X509_free); }

std::string derOf(X509* x) {
  unsigned char* buf = nullptr;
  const int n = i2d_X509(x, &buf);
  if (n <= 0) return {};
  std::string out(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
  OPENSSL_free(buf);
  return out;
}

bool addExtension(X509* cert, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

// subjectAltName text takes commas as separators: names holding one cannot go in.
bool plain(const std::string& s) { return !s.empty() && s.find_first_of(",\n") == std::string::npos; }

}  // namespace

Certificate Certificate::fromDer(std::string_view der) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
  if (!x) return {};
  Certificate c;
  c.der_.assign(der.data(), static_cast<size_t>(reinterpret_cast<const char*>(p) - der.data()));
  c.cert_ = own(x);
  return c;
}

Certificate Certificate::fromFileContents(std::string_view bytes) {
  if (bytes.find("-----BEGIN CERTIFICATE-----") == std::string_view::npos) return fromDer(bytes);
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())), BIO_free);
  X509* x = bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr;
  if (!x) return {};
  Certificate c;
  c.cert_ = own(x);
  c.der_ = derOf(x);
  return c;
}

Certificate Certificate::makeSelfSigned(const CertificateRequest& r, const crypto::Key& key) {
  if (!key) return {};
  std::shared_ptr<X509> x = own(X509_new());
  if (!x) return {};
  X509_set_version(x.get(), 2);
  // A random positive serial number of 16 bytes.
  std::string serial = crypto::randomBytes(16);
  serial[0] = static_cast<char>(serial[0] & 0x7F);
  BIGNUM* bn = BN_bin2bn(reinterpret_cast<const unsigned char*>(serial.data()), 16, nullptr);
  ASN1_INTEGER* asn = bn ? BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(x.get())) : nullptr;
  BN_free(bn);
  if (!asn) return {};
  X509_gmtime_adj(X509_getm_notBefore(x.get()), r.validFromSeconds);
  X509_gmtime_adj(X509_getm_notAfter(x.get()), r.validFromSeconds + r.validForSeconds);
  X509_NAME* name = X509_get_subject_name(x.get());
  auto addName = [name](const char* field, const std::string& value) {
    if (!value.empty())
      X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value.c_str()),
                                 -1, -1, 0);
  };
  addName("CN", r.commonName);
  addName("O", r.organization);
  X509_set_issuer_name(x.get(), name);
  if (X509_set_pubkey(x.get(), key.get()) != 1) return {};
  std::string san;
  if (plain(r.applicationUri)) san += "URI:" + r.applicationUri;
  for (const auto& d : r.dnsNames)
    if (plain(d)) san += (san.empty() ? "DNS:" : ",DNS:") + d;
  for (const auto& ip : r.ipAddresses)
    if (plain(ip)) san += (san.empty() ? "IP:" : ",IP:") + ip;
  const bool ok = addExtension(x.get(), NID_basic_constraints, "critical,CA:FALSE") &&
                  addExtension(x.get(), NID_key_usage,
                               "critical,digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment,keyCertSign") &&
                  addExtension(x.get(), NID_ext_key_usage, "critical,serverAuth,clientAuth") &&
                  addExtension(x.get(), NID_subject_key_identifier, "hash") &&
                  addExtension(x.get(), NID_authority_key_identifier, "keyid:always") &&
                  (san.empty() || addExtension(x.get(), NID_subject_alt_name, san));
  if (!ok || X509_sign(x.get(), key.get(), EVP_sha256()) <= 0) return {};
  Certificate c;
  c.cert_ = x;
  c.der_ = derOf(x.get());
  return c;
}

crypto::Key Certificate::publicKey() const {
  if (!cert_) return {};
  EVP_PKEY* k = X509_get_pubkey(cert_.get());
  if (!k) return {};
  return crypto::Key(std::shared_ptr<EVP_PKEY>(k, EVP_PKEY_free));
}

size_t Certificate::keyBits() const {
  if (!cert_) return 0;
  EVP_PKEY* k = X509_get0_pubkey(cert_.get());
  return k ? static_cast<size_t>(EVP_PKEY_get_bits(k)) : 0;
}

bool Certificate::usualPublicExponent() const {
  if (!cert_) return false;
  EVP_PKEY* k = X509_get0_pubkey(cert_.get());
  if (!k || !EVP_PKEY_is_a(k, "RSA")) return false;
  BIGNUM* e = nullptr;
  if (EVP_PKEY_get_bn_param(k, OSSL_PKEY_PARAM_RSA_E, &e) != 1 || !e) return false;
  // Below 2^32 (2^32 itself, being even, is no RSA exponent).
  const bool fits = BN_num_bits(e) <= 32;
  BN_free(e);
  return fits;
}

bool Certificate::certificateAuthority() const {
  if (!cert_) return false;
  const uint32_t flags = X509_get_extension_flags(cert_.get());
  return (flags & EXFLAG_BCONS) && (flags & EXFLAG_CA);
}

std::string Certificate::applicationUri() const {
  if (!cert_) return {};
  auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert_.get(), NID_subject_alt_name, nullptr, nullptr));
  if (!names) return {};
  std::string uri;
  for (int i = 0; i < sk_GENERAL_NAME_num(names) && uri.empty(); ++i) {
    const GENERAL_NAME* n = sk_GENERAL_NAME_value(names, i);
    if (n->type != GEN_URI) continue;
    const ASN1_IA5STRING* s = n->d.uniformResourceIdentifier;
    uri.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)), static_cast<size_t>(ASN1_STRING_length(s)));
  }
  GENERAL_NAMES_free(names);
  return uri;
}

std::string Certificate::commonName() const {
  if (!cert_) return {};
  char buf[256] = {};
  const int n = X509_NAME_get_text_by_NID(X509_get_subject_name(cert_.get()), NID_commonName, buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

int Certificate::validityAt(std::time_t t) const {
  if (!cert_) return 1;
  std::time_t when = t;
  if (X509_cmp_time(X509_get0_notBefore(cert_.get()), &when) > 0) return -1;
  if (X509_cmp_time(X509_get0_notAfter(cert_.get()), &when) < 0) return 1;
  return 0;
}

bool Certificate::selfSigned() const {
  return cert_ && X509_NAME_cmp(X509_get_subject_name(cert_.get()), X509_get_issuer_name(cert_.get())) == 0;
}

bool Certificate::signedBy(const crypto::Key& issuerKey) const {
  return cert_ && issuerKey && X509_verify(cert_.get(), issuerKey.get()) == 1;
}

}  // namespace zentarc::ua
