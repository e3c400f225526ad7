#include "server/shell/DisplayProbe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

namespace zentarc::shell {

namespace {

constexpr int kConnectWaitMs = 1000;

std::optional<std::string> value(const std::function<const char*(const char*)>& env, const char* name) {
  const char* v = env(name);
  if (!v || !*v) return std::nullopt;
  return std::string(v);
}

bool waitConnected(int fd) {
  pollfd p{fd, POLLOUT, 0};
  if (::poll(&p, 1, kConnectWaitMs) != 1) return false;
  int error = 0;
  socklen_t length = sizeof error;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

// A Unix socket at `path`; with `abstract`, in the abstract namespace (as X servers offer).
bool unixListens(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
  ::close(fd);
  return ok;
}

bool tcpListens(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* a = found; a && !ok; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    ok = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || (errno == EINPROGRESS && waitConnected(fd));
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return ok;
}

bool xServerListens(std::string_view display) {
  const auto colon = display.rfind(':');
  if (colon == std::string_view::npos) return false;
  std::string host(display.substr(0, colon));
  if (const auto slash = host.find('/'); slash != std::string::npos) host.erase(0, slash + 1);  // "tcp/host"
  const std::string_view rest = display.substr(colon + 1);
  int number = 0;
  std::size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9' && number < 10000)
    number = number * 10 + (rest[digits++] - '0');
  if (digits == 0) return false;
  if (host.empty() || host == "unix") {
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    return unixListens(socket, true) || unixListens(socket, false);
  }
  return tcpListens(host, 6000 + number);
}

bool waylandListens(const std::string& name, const std::optional<std::string>& runtimeDir) {
  if (!name.empty() && name.front() == '/') return unixListens(name, false);
  return runtimeDir && unixListens(*runtimeDir + "/" + name, false);
}

}  // namespace

DisplayProbe probeDisplay(const std::function<const char*(const char*)>& env) {
  const auto platform = value(env, "QT_QPA_PLATFORM");
  const auto wayland = value(env, "WAYLAND_DISPLAY");
  const auto x = value(env, "DISPLAY");
  const std::string first = platform ? platform->substr(0, platform->find_first_of(";:")) : std::string();
  if (platform && first != "xcb" && first.rfind("wayland", 0) != 0) return {true, {}};
  const bool wantX = !platform || first == "xcb";
  const bool wantWayland = !platform || first.rfind("wayland", 0) == 0;
  if (wantWayland && wayland && waylandListens(*wayland, value(env, "XDG_RUNTIME_DIR"))) return {true, {}};
  if (wantX && x && xServerListens(*x)) return {true, {}};
  if (wantX && x) return {false, "DISPLAY=" + *x};
  if (wantWayland && wayland) return {false, "WAYLAND_DISPLAY=" + *wayland};
  if (platform) return {false, "QT_QPA_PLATFORM=" + *platform};
  return {false, {}};
}

}  // namespace zentarc::shell
