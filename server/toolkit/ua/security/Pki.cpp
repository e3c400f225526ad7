#include "server/toolkit/ua/security/Pki.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace zentarc::ua {

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes through a temporary file and a rename, with `mode` from the start.
bool writeFile(const fs::path& p, const std::string& bytes, mode_t mode, std::string& error) {
  const fs::path tmp = p.string() + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    error = "cannot write " + tmp.string();
    return false;
  }
  chmod(tmp.c_str(), mode);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), p.c_str()) != 0) {
    std::remove(tmp.c_str());
    error = "cannot write " + p.string();
    return false;
  }
  return true;
}

std::string hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

}  // namespace

std::string certificateFileName(const Certificate& c) {
  std::string name;
  for (char ch : c.commonName())
    name.push_back(std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '_' ? ch : '_');
  if (name.size() > 64) name.resize(64);
  return (name.empty() ? std::string("certificate") : name) + " [" + hex(c.thumbprint()) + "].der";
}

Pki::Pki(fs::path root, std::string ownName)
    : root_(std::move(root)), ownName_(std::move(ownName)), clock_([] { return std::time(nullptr); }) {}

bool Pki::loadOrCreateOwn(const CertificateRequest& request, std::string& error) {
  std::error_code ec;
  for (const char* d : {"own/certs", "own/private", "trusted/certs", "rejected/certs"}) {
    fs::create_directories(root_ / d, ec);
    if (ec) {
      error = "cannot make the PKI folder " + (root_ / d).string() + ": " + ec.message();
      return false;
    }
  }
  chmod((root_ / "own/private").c_str(), 0700);
  const fs::path certPath = root_ / "own/certs" / (ownName_ + ".der");
  const fs::path keyPath = root_ / "own/private" / (ownName_ + ".pem");
  ownCertificate_ = Certificate::fromFileContents(readFile(certPath));
  ownKey_ = crypto::Key::fromPrivatePem(readFile(keyPath));
  // A certificate belongs to its key: a pair that does not match is made afresh.
  if (ownCertificate_ && ownKey_) {
    const crypto::Bytes probe = crypto::rsaSign(ownKey_, crypto::Signature::RsaPkcs1Sha256, "probe");
    if (crypto::rsaVerify(ownCertificate_.publicKey(), crypto::Signature::RsaPkcs1Sha256, "probe", probe)) return true;
  }
  ownKey_ = crypto::Key::generateRsa(request.keyBits);
  ownCertificate_ = Certificate::makeSelfSigned(request, ownKey_);
  if (!ownKey_ || !ownCertificate_) {
    error = "cannot make the application certificate";
    return false;
  }
  return writeFile(keyPath, ownKey_.privatePem(), 0600, error) &&
         writeFile(certPath, ownCertificate_.der(), 0644, error);
}

void Pki::reloadTrustedIfChanged() {
  const fs::path dir = root_ / "trusted/certs";
  std::error_code ec;
  const auto stamp = fs::last_write_time(dir, ec);
  if (ec) {
    trusted_.clear();
    trustedLoaded_ = false;
    return;
  }
  if (trustedLoaded_ && stamp == trustedSeen_) return;
  trusted_.clear();
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (!entry.is_regular_file(ec)) continue;
    const Certificate c = Certificate::fromFileContents(readFile(entry.path()));
    if (c) trusted_[c.thumbprint()] = true;
  }
  trustedSeen_ = stamp;
  trustedLoaded_ = true;
}

bool Pki::reject(const Certificate& peer) {
  const fs::path dir = root_ / "rejected/certs";
  const fs::path file = dir / certificateFileName(peer);
  std::error_code ec;
  if (fs::exists(file, ec)) return true;
  // Only so many are kept, the newest: an attacker cannot fill the disk, and the application
  // an operator is waiting for is there even after a flood of others.
  std::vector<std::pair<fs::file_time_type, fs::path>> held;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (entry.is_regular_file(ec)) held.emplace_back(entry.last_write_time(ec), entry.path());
  if (held.size() >= kMaxRejected) {
    std::sort(held.begin(), held.end());
    for (size_t i = 0; i + kMaxRejected - 1 < held.size(); ++i) fs::remove(held[i].second, ec);
  }
  std::string error;
  return writeFile(file, peer.der(), 0644, error);
}

StatusCode Pki::validate(const Certificate& peer, const SecurityPolicy& policy, bool* copied) {
  if (copied) *copied = false;
  if (!peer) return Status::BadCertificateInvalid;
  // What costs nothing comes before the signature, whose cost a peer's key can inflate.
  const size_t bits = peer.keyBits();
  if (bits < policy.minAsymmetricKeyBits || bits > policy.maxAsymmetricKeyBits || !peer.usualPublicExponent())
    return Status::BadCertificatePolicyCheckFailed;
  if (peer.certificateAuthority()) return Status::BadCertificateUseNotAllowed;
  if (peer.selfSigned() && !peer.signedBy(peer.publicKey())) return Status::BadCertificateInvalid;
  reloadTrustedIfChanged();
  if (!trusted_.count(peer.thumbprint())) {
    const bool kept = reject(peer);
    if (copied) *copied = kept;
    return Status::BadCertificateUntrusted;
  }
  if (peer.validityAt(clock_()) != 0) return Status::BadCertificateTimeInvalid;
  return Status::Good;
}

StatusCode Pki::recheck(const Certificate& peer) {
  reloadTrustedIfChanged();
  if (!peer || !trusted_.count(peer.thumbprint())) return Status::BadCertificateUntrusted;
  if (peer.validityAt(clock_()) != 0) return Status::BadCertificateTimeInvalid;
  return Status::Good;
}

}  // namespace zentarc::ua
