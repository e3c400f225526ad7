// Round trips per second of GeLink::ReadRegisters against the simulated PLC on loopback,
// next to a bare blocking socket client that sends the same bytes to the same simulator.
// The gap between the two is the link's own cost (bounded waits, stale-input check, split
// gathering). Target: the link within 1.2x of the bare exchange.
//
// Usage: bench_link_roundtrip [seconds per measurement, default 0.5]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BareGeClient.h"
#include "server/plc/GeLink.h"
#include "tools/plcsim/Simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kAddress = "127.0.9.1";
constexpr int kRounds = 5;

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
  zentarc::bench::BareGeClient client;
  if (!client.open(kAddress)) return -1;
  for (int i = 0; i < 200; ++i) client.read(0, count);
  long trips = 0;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    if (!client.read(0, count)) return -1;
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
