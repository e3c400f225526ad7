#include "server/toolkit/ua/security/UserDirectory.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

#include "server/toolkit/ua/security/Crypto.h"

namespace zentarc::ua {

namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";

std::string base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

std::optional<std::string> unbase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::string out(3 * text.size() / 4, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (n < 0) return std::nullopt;
  size_t pad = 0;
  while (pad < 2 && text[text.size() - 1 - pad] == '=') ++pad;
  out.resize(static_cast<size_t>(n) - pad);
  return out;
}

std::string pbkdf2(std::string_view password, std::string_view salt, int iterations, size_t length) {
  std::string out(length, '\0');
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), iterations,
                        EVP_sha256(), static_cast<int>(length), reinterpret_cast<unsigned char*>(out.data())) != 1)
    return {};
  return out;
}

std::vector<std::string> split(std::string_view s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(sep, start);
    parts.emplace_back(s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

std::vector<std::string> readLines(const std::string& path, bool& readable) {
  std::ifstream in(path, std::ios::binary);
  readable = static_cast<bool>(in);
  std::vector<std::string> lines;
  std::string line;
  while (in && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool writeLines(const std::string& path, const std::vector<std::string>& lines, std::string& error) {
  const std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    error = "cannot write " + tmp;
    return false;
  }
  chmod(tmp.c_str(), 0640);
  bool ok = true;
  for (const auto& l : lines) ok = ok && std::fputs((l + "\n").c_str(), f) >= 0;
  if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    error = "cannot write " + path;
    return false;
  }
  return true;
}

std::string nameOfLine(const std::string& line) {
  if (line.empty() || line[0] == '#') return {};
  return line.substr(0, line.find(':'));
}

}  // namespace

std::optional<UserRole> parseUserRole(std::string_view text) {
  if (text == "reader") return UserRole::Reader;
  if (text == "writer") return UserRole::Writer;
  return std::nullopt;
}

const char* userRoleName(UserRole role) { return role == UserRole::Writer ? "writer" : "reader"; }

UserDirectory::UserDirectory(std::string path) : path_(std::move(path)) {}

bool UserDirectory::validName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (unsigned char c : name)
    if (c <= ' ' || c == ':' || c == 0x7F) return false;
  return true;
}

std::string UserDirectory::hashPassword(std::string_view password, int iterations) {
  const std::string salt = crypto::randomBytes(16);
  return std::string(kScheme) + "$" + std::to_string(iterations) + "$" + base64(salt) + "$" +
         base64(pbkdf2(password, salt, iterations, 32));
}

bool UserDirectory::passwordMatches(std::string_view hash, std::string_view password) {
  const std::vector<std::string> parts = split(hash, '$');
  if (parts.size() != 4 || parts[0] != kScheme) return false;
  int iterations = 0;
  try {
    iterations = std::stoi(parts[1]);
  } catch (...) {
    return false;
  }
  const auto salt = unbase64(parts[2]);
  const auto key = unbase64(parts[3]);
  if (iterations < 1 || iterations > 10'000'000 || !salt || !key || key->empty()) return false;
  return crypto::equalInConstantTime(pbkdf2(password, *salt, iterations, key->size()), *key);
}

namespace {
constexpr long long kSettledNs = 2'000'000'000LL;
}  // namespace

void UserDirectory::reloadIfChanged() {
  struct stat st {};
  if (stat(path_.c_str(), &st) != 0) {
    if (seen_.size != -1 || !users_.empty()) ++readings_;
    users_.clear();
    seenLines_.clear();
    seen_ = {};
    return;
  }
  const long long ns = static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec;
  timespec clock{};
  clock_gettime(CLOCK_REALTIME, &clock);
  const long long nowNs = static_cast<long long>(clock.tv_sec) * 1'000'000'000LL + clock.tv_nsec;
  // File times move in coarse steps: a rewrite of the same size soon after a reading may keep
  // the time the reading saw. Such a file is read again until its time is safely past.
  const bool settled = seen_.readAtNs - ns > kSettledNs;
  if (st.st_ino == seen_.inode && st.st_size == seen_.size && ns == seen_.mtimeNs && settled) return;
  bool readable = false;
  std::vector<std::string> lines = readLines(path_, readable);
  const bool same = lines == seenLines_ && seen_.size != -1;
  seen_ = {st.st_ino, st.st_size, ns, nowNs};
  if (same) return;
  seenLines_ = std::move(lines);
  users_.clear();
  for (const std::string& line : seenLines_) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> parts = split(line, ':');
    if (parts.size() != 3 || !validName(parts[0])) continue;
    const auto role = parseUserRole(parts[1]);
    if (!role) continue;
    users_[parts[0]] = Entry{*role, parts[2]};
  }
  ++readings_;
}

std::optional<UserGrant> UserDirectory::check(std::string_view name, std::string_view password) {
  Entry entry{UserRole::Reader, {}};
  bool known = false;
  {
    std::lock_guard lock(mutex_);
    reloadIfChanged();
    auto it = users_.find(std::string(name));
    if (it != users_.end()) {
      entry = it->second;
      known = true;
    }
  }
  // An unknown name costs as much as a wrong password, so timing does not tell them apart.
  static const std::string decoy = hashPassword("decoy");
  const bool ok = passwordMatches(known ? entry.hash : decoy, password);
  if (!known || !ok) return std::nullopt;
  return UserGrant{entry.role, crypto::sha256(entry.hash)};
}

std::optional<UserGrant> UserDirectory::current(std::string_view name) {
  std::lock_guard lock(mutex_);
  reloadIfChanged();
  auto it = users_.find(std::string(name));
  if (it == users_.end()) return std::nullopt;
  return UserGrant{it->second.role, crypto::sha256(it->second.hash)};
}

uint64_t UserDirectory::refresh() {
  std::lock_guard lock(mutex_);
  reloadIfChanged();
  return readings_;
}

bool UserDirectory::addUser(const std::string& path, const std::string& name, UserRole role,
                            const std::string& password, std::string& error) {
  if (!validName(name)) {
    error = "a user name has 1 to 64 printable characters, no ':' and no blanks";
    return false;
  }
  if (password.empty()) {
    error = "the password is empty";
    return false;
  }
  bool readable = false;
  std::vector<std::string> lines = readLines(path, readable);
  std::erase_if(lines, [&name](const std::string& l) { return nameOfLine(l) == name; });
  lines.push_back(name + ":" + userRoleName(role) + ":" + hashPassword(password));
  return writeLines(path, lines, error);
}

bool UserDirectory::removeUser(const std::string& path, const std::string& name, std::string& error) {
  bool readable = false;
  std::vector<std::string> lines = readLines(path, readable);
  if (!readable) {
    error = "cannot read " + path;
    return false;
  }
  const size_t before = lines.size();
  std::erase_if(lines, [&name](const std::string& l) { return nameOfLine(l) == name; });
  if (lines.size() == before) {
    error = "no user \"" + name + "\" in " + path;
    return false;
  }
  return writeLines(path, lines, error);
}

}  // namespace zentarc::ua
