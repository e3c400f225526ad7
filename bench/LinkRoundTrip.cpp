// Round trips per second of GeLink::ReadRegisters against the simulated PLC on loopback,
// next to a bare blocking socket client that sends the same bytes to the same simulator.
// The gap between the two is the link's own cost (bounded waits, stale-input check, split
// gathering). Target: the link within 1.2x of the bare exchange.
//
// Usage: bench_link_roundtrip [seconds per measurement, default 0.5]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "server/plc/GeLink.h"
#include "tools/plcsim/Simulator.h"

namespace {

namespace ge = zentarc::plc::ge;
using Clock = std::chrono::steady_clock;

constexpr const char* kAddress = "127.0.9.1";
constexpr int kRounds = 5;

// A client with no limits and no checks beyond the status byte: the fastest exchange the
// simulator allows.
class BareClient {
 public:
  bool open() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(ge::kPort);
    ::inet_pton(AF_INET, kAddress, &a.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) return false;
    std::vector<std::uint8_t> answer(56);
    const ge::Header hello = ge::handshakeHello();
    const ge::Header open = ge::handshakeOpen();
    if (!exchange(hello.data(), hello.size(), answer)) return false;
    if (!exchange(open.data(), open.size(), answer)) return false;
    sequence_ = 2;
    return answer[ge::kStatusOffset] == ge::kStatusInHeader;
  }
  ~BareClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool read(std::uint16_t count, std::vector<std::uint8_t>& answer) {
    const ge::Header request = ge::readRequest(sequence_, 0, count);
    answer.resize(ge::readResponseLength(count));
    if (!exchange(request.data(), request.size(), answer)) return false;
    ++sequence_;
    return answer[ge::kStatusOffset] == ge::readResponseStatus(count);
  }

 private:
  bool exchange(const std::uint8_t* request, std::size_t length, std::vector<std::uint8_t>& answer) {
    if (::send(fd_, request, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) return false;
    std::size_t got = 0;
    while (got < answer.size()) {
      const ssize_t n = ::recv(fd_, answer.data() + got, answer.size() - got, 0);
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    return true;
  }
  int fd_ = -1;
  std::uint8_t sequence_ = 0;
};

double linkRate(std::uint16_t count, double seconds) {
  zentarc::plc::GeLink link;
  if (link.Setup({kAddress}) != zentarc::plc::kOk || link.SelectPlc(1) != zentarc::plc::kOk) return -1;
  std::vector<std::uint16_t> values(count);
  for (int i = 0; i < 200; ++i) link.ReadRegisters(count, 0, values.data());
  long trips = 0;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    if (link.ReadRegisters(count, 0, values.data()) != zentarc::plc::kOk) return -1;
    ++trips;
  }
  return trips / std::chrono::duration<double>(Clock::now() - start).count();
}

double bareRate(std::uint16_t count, double seconds) {
  BareClient client;
  if (!client.open()) return -1;
  std::vector<std::uint8_t> answer;
  for (int i = 0; i < 200; ++i) client.read(count, answer);
  long trips = 0;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    if (!client.read(count, answer)) return -1;
    ++trips;
  }
  return trips / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 0.5;
  if (!(seconds > 0 && seconds < 600)) {
    std::fprintf(stderr, "usage: bench_link_roundtrip [seconds per measurement, 0 < s < 600]\n");
    return 2;
  }
  zentarc::plcsim::Simulator sim({.address = kAddress, .logLimit = 0});
  std::string error;
  if (!sim.start(&error)) {
    std::fprintf(stderr, "bench_link_roundtrip: %s\n", error.c_str());
    return 1;
  }
  std::printf("ReadRegisters round trips per second against plcsim on %s (best of %d, %.1f s each)\n",
              kAddress, kRounds, seconds);
  std::printf("%10s %14s %14s %12s\n", "registers", "GeLink", "bare socket", "bare/link");
  bool ok = true;
  for (std::uint16_t count : {1, 64, 512}) {
    double link = 0, bare = 0;
    // Interleaved rounds, best of each, so that load from elsewhere hits both alike.
    for (int round = 0; round < kRounds; ++round) {
      link = std::max(link, linkRate(count, seconds));
      bare = std::max(bare, bareRate(count, seconds));
    }
    if (link <= 0 || bare <= 0) {
      std::fprintf(stderr, "bench_link_roundtrip: a read of %u registers failed\n", count);
      ok = false;
      continue;
    }
    std::printf("%10u %14.0f %14.0f %11.2fx\n", count, link, bare, bare / link);
  }
  std::printf("target: bare/link at most 1.20x\n");
  return ok ? 0 : 1;
}
