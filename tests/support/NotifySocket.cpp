#include "tests/support/NotifySocket.h"

#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zentarc::testsupport {

NotifySocket::NotifySocket(std::string path) : path_(std::move(path)) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path_.size() >= sizeof addr.sun_path) return;
  std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

NotifySocket::~NotifySocket() {
  if (fd_ >= 0) ::close(fd_);
  if (!path_.empty()) ::unlink(path_.c_str());
}

std::optional<std::string> NotifySocket::receive(std::chrono::milliseconds limit) {
  if (fd_ < 0) return std::nullopt;
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) return std::nullopt;
  char buf[4096];
  const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
  if (n < 0) return std::nullopt;
  return std::string(buf, static_cast<std::size_t>(n));
}

std::vector<std::string> NotifySocket::receiveUntil(const std::string& text, std::chrono::milliseconds limit,
                                                    bool& found) {
  std::vector<std::string> got;
  found = false;
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!found) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    auto message = receive(left);
    if (!message) break;
    found = message->find(text) != std::string::npos;
    got.push_back(std::move(*message));
  }
  return got;
}

}  // namespace zentarc::testsupport
