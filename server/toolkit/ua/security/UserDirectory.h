#pragma once
// The users file: one line per user, "name:role:hash", where role is reader or writer and
// hash is "pbkdf2-sha256$<iterations>$<salt>$<key>" (PBKDF2-HMAC-SHA256, salt and key in
// base64). Lines starting with '#' and blank lines are skipped. The file is written with mode
// 0640 through a temporary file, and read again whenever it changes.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace zentarc::ua {

enum class UserRole { Reader, Writer };
std::optional<UserRole> parseUserRole(std::string_view text);
const char* userRoleName(UserRole role);

// What a user may do, and a digest of the password's entry: a new password gives another.
struct UserGrant {
  UserRole role = UserRole::Reader;
  std::string credential;
};

class UserDirectory {
 public:
  static constexpr int kIterations = 100000;

  explicit UserDirectory(std::string path);
  const std::string& path() const { return path_; }

  // The user's grant when the password is right; nothing for a wrong password, an unknown
  // user or a file that cannot be read. Costs a PBKDF2 run either way. Thread-safe.
  std::optional<UserGrant> check(std::string_view name, std::string_view password);
  // The user's grant as the file has it now, without a password (nothing: no such user).
  // Thread-safe.
  std::optional<UserGrant> current(std::string_view name);
  // Reads the file again when it changed (a stat otherwise); the number returned changes
  // with every reading. Thread-safe.
  uint64_t refresh();

  // A user name: 1 to 64 printable characters, no ':' and no blanks.
  static bool validName(std::string_view name);
  // Adds the user, or gives an existing one a new role and password.
  static bool addUser(const std::string& path, const std::string& name, UserRole role,
                      const std::string& password, std::string& error);
  static bool removeUser(const std::string& path, const std::string& name, std::string& error);
  // The hash line part for a password (a new random salt each time).
  static std::string hashPassword(std::string_view password, int iterations = kIterations);
  static bool passwordMatches(std::string_view hash, std::string_view password);

 private:
  struct Entry {
    UserRole role;
    std::string hash;
  };
  void reloadIfChanged();

  std::string path_;
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> users_;
  uint64_t readings_ = 0;
  struct {
    ino_t inode = 0;
    off_t size = -1;
    long long mtimeNs = -1;
    long long readAtNs = 0;  // when it was read
  } seen_;
  std::vector<std::string> seenLines_;
};

}  // namespace zentarc::ua
