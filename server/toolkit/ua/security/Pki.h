#pragma once
// The PKI folder of an application: its own certificate and key (made on first use), the
// certificates of trusted peers, and the rejected ones an operator may move to trusted:
//   own/certs/<name>.der   own/private/<name>.pem (mode 0600)
//   trusted/certs/         rejected/certs/
// A peer's certificate is trusted when the same certificate lies in trusted/certs (DER or
// PEM); the folder is looked at again whenever it changes, so a move needs no restart.
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "server/toolkit/ua/StatusCodes.h"
#include "server/toolkit/ua/security/Certificate.h"
#include "server/toolkit/ua/security/SecurityPolicy.h"

namespace zentarc::ua {

class Pki {
 public:
  explicit Pki(std::filesystem::path root, std::string ownName = "application");

  // Makes the folders (private ones 0700) and loads the own certificate and key, making them
  // (RSA 2048, SHA-256) when either is missing or unreadable. False with `error` set when
  // the folder cannot be made or written.
  bool loadOrCreateOwn(const CertificateRequest& request, std::string& error);
  const Certificate& ownCertificate() const { return ownCertificate_; }
  const crypto::Key& ownKey() const { return ownKey_; }
  const std::filesystem::path& root() const { return root_; }

  // Checks a peer's certificate for a channel of `policy`, cheap checks first: its key size
  // and public exponent (BadCertificatePolicyCheckFailed), that it is no certificate
  // authority (BadCertificateUseNotAllowed), its own signature when self-signed
  // (BadCertificateInvalid), the trust list (BadCertificateUntrusted: a copy goes to
  // rejected/certs, and `copied` tells whether one lies there now), its validity period
  // (BadCertificateTimeInvalid). Good when it may be used.
  StatusCode validate(const Certificate& peer, const SecurityPolicy& policy, bool* copied = nullptr);
  // For a certificate that passed validate() before: whether it is still trusted and valid
  // now (the trust list is read again when its folder changed). Good, BadCertificateUntrusted
  // or BadCertificateTimeInvalid.
  StatusCode recheck(const Certificate& peer);
  // The clock (tests move it).
  void setClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }
  // At most this many certificates are kept in rejected/certs; a new one takes the place of
  // the oldest.
  static constexpr size_t kMaxRejected = 100;

 private:
  void reloadTrustedIfChanged();
  // True when the copy lies in rejected/certs afterwards.
  bool reject(const Certificate& peer);

  std::filesystem::path root_;
  std::string ownName_;
  Certificate ownCertificate_;
  crypto::Key ownKey_;
  std::function<std::time_t()> clock_;
  std::map<std::string, bool> trusted_;  // thumbprints of trusted/certs
  std::filesystem::file_time_type trustedSeen_{};
  bool trustedLoaded_ = false;
};

// A name for a file from a certificate: its common name (safe characters only) and thumbprint.
std::string certificateFileName(const Certificate& c);

}  // namespace zentarc::ua
