#include "server/shell/UserAdmin.h"

#include <termios.h>
#include <unistd.h>

#include <openssl/crypto.h>

#include <string>

#include "server/shell/SecuritySetup.h"
#include "server/toolkit/ua/security/UserDirectory.h"

namespace zentarc::shell {

namespace {

// Turns the terminal's echo off while the password is typed.
class NoEcho {
 public:
  explicit NoEcho(bool terminal) : on_(terminal && tcgetattr(STDIN_FILENO, &saved_) == 0) {
    if (!on_) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  ~NoEcho() {
    if (on_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }

 private:
  bool on_;
  termios saved_{};
};

}  // namespace

int runUserAdmin(const CommandLine& cl, const settings::SettingsStore& store, std::istream& in, bool terminal,
                 ShellLog& log) {
  std::vector<std::string> notices;
  const SecuritySettings settings = resolveSecurity(cl, store, notices);
  std::string error;
  if (cl.removeUser) {
    if (!ua::UserDirectory::removeUser(settings.usersFile, *cl.removeUser, error)) {
      log.line(LogPriority::Error, "cannot remove the user: " + error);
      return 1;
    }
    log.line("user \"" + *cl.removeUser + "\" removed from " + settings.usersFile);
    return 0;
  }
  if (!ua::UserDirectory::validName(*cl.addUser)) {
    log.line(LogPriority::Error, "cannot add the user: a user name has 1 to 64 printable characters, no ':' and no blanks");
    return 1;
  }
  std::string password;
  {
    if (terminal) std::fputs("Password: ", stderr);
    NoEcho quiet(terminal);
    std::getline(in, password);
    if (terminal) std::fputs("\n", stderr);
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  const ua::UserRole role = *ua::parseUserRole(*cl.role);
  const bool ok = ua::UserDirectory::addUser(settings.usersFile, *cl.addUser, role, password, error);
  OPENSSL_cleanse(password.data(), password.size());
  if (!ok) {
    log.line(LogPriority::Error, "cannot add the user: " + error);
    return 1;
  }
  log.line("user \"" + *cl.addUser + "\" (" + ua::userRoleName(role) + ") written to " + settings.usersFile);
  return 0;
}

}  // namespace zentarc::shell
