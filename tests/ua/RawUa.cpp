#include "tests/ua/RawUa.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zentarc::ua::test {

std::string loopbackUrl(int port) { return "opc.tcp://127.0.0.1:" + std::to_string(port); }

UaServerConfig loopbackConfig(int port) {
  UaServerConfig c;
  c.endpointUrl = loopbackUrl(port);
  c.security = ServerSecurity::unsecured();
  return c;
}

int rawConnect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string readUntilClosed(int fd, std::chrono::milliseconds limit) {
  std::string all;
  auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buf[4096];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    all.append(buf, static_cast<size_t>(n));
  }
  return all;
}

StatusCode errorIn(const std::string& bytes) {
  size_t at = bytes.find("ERRF");
  if (at == std::string::npos || bytes.size() < at + 12) return Status::Good;
  ErrorMessage e;
  Decoder d(bytes.data() + at + 8, bytes.size() - at - 8);
  d.read(e);
  return e.error;
}

std::string intermediateChunk(uint32_t channelId, uint32_t tokenId, uint32_t sequenceNumber,
                              uint32_t requestId, const std::string& body) {
  std::string out;
  appendPlainChunk(out, "MSG", 'C', channelId, tokenId, sequenceNumber, requestId, body);
  return out;
}

bool sendAllBytes(int fd, const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, 2000) <= 0) return false;
    ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace zentarc::ua::test
