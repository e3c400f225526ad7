#include "tests/plc/RawSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <utility>

namespace zentarc::testplc {

namespace {

sockaddr_in endpoint(const std::string& address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  return a;
}

}  // namespace

RawSocket::~RawSocket() { close(); }

RawSocket::RawSocket(RawSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

RawSocket& RawSocket::operator=(RawSocket&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void RawSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

RawSocket RawSocket::listenOn(const std::string& address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const sockaddr_in a = endpoint(address, port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) < 0 || ::listen(fd, 4) < 0) {
    ::close(fd);
    return RawSocket{};
  }
  return RawSocket{fd};
}

RawSocket RawSocket::connectTo(const std::string& address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in a = endpoint(address, port);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) < 0) {
    ::close(fd);
    return RawSocket{};
  }
  return RawSocket{fd};
}

RawSocket RawSocket::accept(int timeoutMs) const {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return RawSocket{};
  return RawSocket{::accept(fd_, nullptr, nullptr)};
}

bool RawSocket::sendAll(const std::vector<std::uint8_t>& bytes) const {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::vector<std::uint8_t> RawSocket::receive(std::size_t n, int timeoutMs) const {
  std::vector<std::uint8_t> out;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out.size() < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    pollfd p{fd_, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    std::uint8_t buffer[2048];
    const ssize_t got = ::recv(fd_, buffer, std::min(sizeof buffer, n - out.size()), 0);
    if (got <= 0) break;
    out.insert(out.end(), buffer, buffer + got);
  }
  return out;
}

}  // namespace zentarc::testplc
