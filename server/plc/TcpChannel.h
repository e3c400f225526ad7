#pragma once
// One TCP connection to one PLC: non-blocking connect bounded to 1 s, receive bounded to
// 1000 ms, and socket errors turned into the PLC side's result codes.
#include <array>
#include <cstddef>
#include <cstdint>

#include "server/plc/ResultCodes.h"

namespace zentarc::plc {

// The protocol the link was started with: IPv4, stream sockets, TCP.
struct ProtocolDescriptor {
  int family = 0;
  int type = 0;
  int protocol = 0;
};

inline constexpr int kConnectTimeoutMs = 1000;
inline constexpr int kReceiveTimeoutMs = 1000;
inline constexpr int kSocketBufferSize = 8192;

class TcpChannel {
 public:
  TcpChannel() = default;
  ~TcpChannel();
  TcpChannel(const TcpChannel&) = delete;
  TcpChannel& operator=(const TcpChannel&) = delete;
  TcpChannel(TcpChannel&& other) noexcept;
  TcpChannel& operator=(TcpChannel&& other) noexcept;

  // address: 4 bytes in network order. A failed connect leaves the channel closed.
  ResultCode Connect(const std::array<std::uint8_t, 4>& address, std::uint16_t port,
                     const ProtocolDescriptor& protocol);
  // One send of all bytes; a short send is a failure (1), never retried.
  ResultCode Send(const std::uint8_t* data, std::size_t length);
  // Waits at most timeoutMs for data, then receives once, up to size bytes; size becomes the
  // count received. A peer that closed the connection is a lost connection (3, closed).
  ResultCode Receive(std::uint8_t* buffer, std::size_t& size, int timeoutMs = kReceiveTimeoutMs);
  // Drops input that nobody asked for (a late answer to a failed request), so that it can
  // never be taken for the answer to the next one. 3 (and closed) when the peer has gone.
  ResultCode DiscardPending();
  void Close();

  bool isOpen() const { return socket_ >= 0; }

 private:
  ResultCode connectionLost();
  bool setReceiveTimeout(int timeoutMs);
  int socket_ = -1;
  int receiveTimeoutMs_ = 0;  // SO_RCVTIMEO now set on socket_; 0 = none (waits forever)
};

}  // namespace zentarc::plc
