#pragma once
// A blocking socket client for the simulated PLC with no limits and no checks beyond the
// status byte: the fastest exchange the simulator allows, the yardstick for the link's cost.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "server/plc/GeMessages.h"

namespace zentarc::bench {

class BareGeClient {
 public:
  BareGeClient() = default;
  BareGeClient(const BareGeClient&) = delete;
  BareGeClient& operator=(const BareGeClient&) = delete;
  ~BareGeClient() {
    if (fd_ >= 0) ::close(fd_);
  }

  bool open(const std::string& address) {
    namespace ge = zentarc::plc::ge;
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(ge::kPort);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) return false;
    answer_.resize(ge::kHeaderSize);
    const ge::Header hello = ge::handshakeHello();
    const ge::Header open = ge::handshakeOpen();
    if (!exchange(hello.data(), hello.size()) || !exchange(open.data(), open.size())) return false;
    sequence_ = 2;
    return answer_[ge::kStatusOffset] == ge::kStatusInHeader;
  }

  // One read request and its whole answer; true when the answer has the expected status.
  bool read(std::uint16_t index, std::uint16_t count) {
    return read(zentarc::plc::ge::kRegisterTable, index, count, 2u * count);
  }
  // The same in any area: `dataBytes` is what the selector's unit makes of index and count.
  bool read(std::uint8_t selector, std::uint16_t index, std::uint16_t count, std::size_t dataBytes) {
    namespace ge = zentarc::plc::ge;
    const ge::Header request = ge::readRequest(sequence_, selector, index, count);
    answer_.resize(ge::readAnswerLength(dataBytes));
    if (!exchange(request.data(), request.size())) return false;
    ++sequence_;
    return answer_[ge::kStatusOffset] == ge::readAnswerStatus(dataBytes);
  }

 private:
  bool exchange(const std::uint8_t* request, std::size_t length) {
    if (::send(fd_, request, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) return false;
    std::size_t got = 0;
    while (got < answer_.size()) {
      const ssize_t n = ::recv(fd_, answer_.data() + got, answer_.size() - got, 0);
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    return true;
  }

  int fd_ = -1;
  std::uint8_t sequence_ = 0;
  std::vector<std::uint8_t> answer_;
};

}  // namespace zentarc::bench
