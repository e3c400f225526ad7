#include "server/plc/TcpChannel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace zentarc::plc {

namespace {

using Clock = std::chrono::steady_clock;

// The errors after which the connection cannot be used again.
bool isConnectionError(int err) {
  switch (err) {
    case ENETDOWN:
    case ECONNABORTED:
    case ECONNRESET:
    case ENOTCONN:
    case ETIMEDOUT:
    case EPIPE:
      return true;
    default:
      return false;
  }
}

// poll() for one event, restarted after signals with the time that is left.
// Returns >0 when ready, 0 on timeout, <0 on failure.
int pollFor(int fd, short events, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, timeoutMs);
    if (r >= 0 || errno != EINTR) return r;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    timeoutMs = static_cast<int>(left.count());
  }
}

}  // namespace

TcpChannel::~TcpChannel() { Close(); }

TcpChannel::TcpChannel(TcpChannel&& other) noexcept
    : socket_(std::exchange(other.socket_, -1)), receiveTimeoutMs_(std::exchange(other.receiveTimeoutMs_, 0)) {}

TcpChannel& TcpChannel::operator=(TcpChannel&& other) noexcept {
  if (this != &other) {
    Close();
    socket_ = std::exchange(other.socket_, -1);
    receiveTimeoutMs_ = std::exchange(other.receiveTimeoutMs_, 0);
  }
  return *this;
}

ResultCode TcpChannel::Connect(const std::array<std::uint8_t, 4>& address, std::uint16_t port,
                               const ProtocolDescriptor& protocol) {
  Close();
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  std::memcpy(&target.sin_addr, address.data(), 4);

  const int fd = ::socket(protocol.family, protocol.type | SOCK_CLOEXEC, protocol.protocol);
  if (fd < 0) return kResourceFailure;
  auto fail = [fd](ResultCode code) {
    ::close(fd);
    return code;
  };

  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
    return fail(errno == EFAULT ? kInvalidArgument : kResourceFailure);

  if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) < 0) {
    if (errno != EINPROGRESS && errno != EINTR)
      return fail(errno == EADDRNOTAVAIL ? kAddressNotAvailable : kNotConnected);
    const int ready = pollFor(fd, POLLOUT, kConnectTimeoutMs);
    if (ready == 0) return fail(kNotConnected);
    if (ready < 0) return fail(kResourceFailure);
    // Writable also means "failed" on POSIX: the outcome is in SO_ERROR.
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) return fail(kResourceFailure);
    if (err != 0) return fail(err == EADDRNOTAVAIL ? kAddressNotAvailable : kNotConnected);
  }

  const int size = kSocketBufferSize;
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) < 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) < 0)
    return fail(errno == EINVAL || errno == ENOPROTOOPT ? kInvalidArgument : kNotConnected);

  // From here on the socket blocks: a receive then waits in one call, bounded by
  // SO_RCVTIMEO, instead of a poll followed by a read. Sends stay non-blocking per call.
  if (::fcntl(fd, F_SETFL, flags) < 0) return fail(kResourceFailure);

  socket_ = fd;
  receiveTimeoutMs_ = 0;
  return kOk;
}

ResultCode TcpChannel::Send(const std::uint8_t* data, std::size_t length) {
  if (socket_ < 0) return kChannelNotOpen;
  // MSG_NOSIGNAL: a PLC that has closed its end must give an error, not end the process.
  const ssize_t sent = ::send(socket_, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent < 0) {
    const int err = errno;
    if (err == EMSGSIZE) return kMessageTooLong;
    if (isConnectionError(err)) return connectionLost();
    return kSendFailed;
  }
  return static_cast<std::size_t>(sent) == length ? kOk : kSendFailed;
}

ResultCode TcpChannel::Receive(std::uint8_t* buffer, std::size_t& size, int timeoutMs) {
  if (socket_ < 0) return kChannelNotOpen;
  if (size == 0) return kInvalidArgument;
  if (timeoutMs < 0) timeoutMs = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  ssize_t got;
  for (;;) {
    if (timeoutMs == 0) {
      got = ::recv(socket_, buffer, size, MSG_DONTWAIT);
    } else {
      if (!setReceiveTimeout(timeoutMs)) return kResourceFailure;
      got = ::recv(socket_, buffer, size, 0);
    }
    if (got >= 0 || errno != EINTR) break;
    // Interrupted by a signal: go on waiting for what is left of the limit.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return kNoAnswer;
    timeoutMs = static_cast<int>(left);
  }
  if (got < 0) {
    const int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK) return kNoAnswer;
    if (err == EMSGSIZE) return kMessageTooLong;
    if (isConnectionError(err)) return connectionLost();
    return kReceiveFailed;
  }
  if (got == 0) return connectionLost();
  size = static_cast<std::size_t>(got);
  return kOk;
}

bool TcpChannel::setReceiveTimeout(int timeoutMs) {
  // The limit is almost always the same 1000 ms: set it only when it changes.
  if (timeoutMs == receiveTimeoutMs_) return true;
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  if (::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) < 0) return false;
  receiveTimeoutMs_ = timeoutMs;
  return true;
}

ResultCode TcpChannel::DiscardPending() {
  if (socket_ < 0) return kChannelNotOpen;
  std::uint8_t scrap[2048];
  // Bounded: a peer cannot keep us here by streaming.
  for (int round = 0; round < 64; ++round) {
    const ssize_t got = ::recv(socket_, scrap, sizeof scrap, MSG_DONTWAIT);
    if (got > 0) continue;
    if (got == 0) return connectionLost();
    const int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) return kOk;
    if (isConnectionError(err)) return connectionLost();
    return kReceiveFailed;
  }
  // Still streaming after 128 KiB of unasked input: this is no longer a conversation.
  return connectionLost();
}

void TcpChannel::Close() {
  if (socket_ < 0) return;
  ::shutdown(socket_, SHUT_WR);
  ::close(socket_);
  socket_ = -1;
}

ResultCode TcpChannel::connectionLost() {
  Close();
  return kConnectionLost;
}

}  // namespace zentarc::plc
