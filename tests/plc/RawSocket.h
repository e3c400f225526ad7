#pragma once
// Plain blocking loopback sockets for tests that play the other end by hand: a listener that
// accepts one peer, and a client. Every wait is bounded.
#include <cstdint>
#include <string>
#include <vector>

namespace zentarc::testplc {

class RawSocket {
 public:
  RawSocket() = default;
  explicit RawSocket(int fd) : fd_(fd) {}
  ~RawSocket();
  RawSocket(RawSocket&& other) noexcept;
  RawSocket& operator=(RawSocket&& other) noexcept;
  RawSocket(const RawSocket&) = delete;
  RawSocket& operator=(const RawSocket&) = delete;

  static RawSocket listenOn(const std::string& address, std::uint16_t port = 18245);
  static RawSocket connectTo(const std::string& address, std::uint16_t port = 18245);
  // Waits at most timeoutMs for one connection.
  RawSocket accept(int timeoutMs = 2000) const;

  bool valid() const { return fd_ >= 0; }
  bool sendAll(const std::vector<std::uint8_t>& bytes) const;
  // Reads exactly n bytes unless timeoutMs passes first or the peer closes; returns what came.
  std::vector<std::uint8_t> receive(std::size_t n, int timeoutMs = 2000) const;
  void close();

 private:
  int fd_ = -1;
};

}  // namespace zentarc::testplc
