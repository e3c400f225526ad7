// PLCs scanned side by side: 20 simulated PLCs, each answering every message 20 ms late, one
// block each at 100 ms. Printed: the median and p99 of the periods between reads of each
// PLC (as the simulators received them). One pass after another would need at least
// 20 x 20 ms = 400 ms per round; target: median at most 120 ms.
//
// Usage: bench_concurrent_scan [seconds, default 5] [PLCs, default 20] [answer delay ms, default 20]
#include <cstdlib>
#include <thread>

#include "bench/PollingBenchSupport.h"

using namespace zentarc;
using namespace zentarc::bench;

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  const int plcs = argc > 2 ? std::atoi(argv[2]) : 20;
  const int delayMs = argc > 3 ? std::atoi(argv[3]) : 20;
  if (!(seconds > 0 && seconds < 600) || plcs < 1 || plcs > 100 || delayMs < 0 || delayMs > 900) {
    std::fprintf(stderr, "usage: bench_concurrent_scan [seconds 0-600] [PLCs 1-100] [answer delay ms 0-900]\n");
    return 2;
  }
  Plant plant;
  std::vector<std::unique_ptr<ReadTimes>> times;
  for (int p = 0; p < plcs; ++p) {
    PlcDevice* device = plant.addPlc("127.0.5." + std::to_string(101 + p), true, {.delayMs = delayMs});
    plant.addTags(device, 1);
    times.push_back(std::make_unique<ReadTimes>());
    times.back()->watch(*plant.sims.back());
  }
  plant.start();
  auto group = plant.activateAll(100);
  if (!waitFor([&] { return plant.allHaveValues(); }, 30000)) {
    std::fprintf(stderr, "bench_concurrent_scan: not every tag got a value within 30 s\n");
    return 1;
  }
  for (auto& t : times) t->start();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  std::vector<double> all;
  double worstMedian = 0;
  for (auto& t : times) {
    const std::vector<double> periods = t->periods();
    all.insert(all.end(), periods.begin(), periods.end());
    worstMedian = std::max(worstMedian, percentile(periods, 0.5));
  }
  std::printf("%d PLCs answering %d ms late, one block each at 100 ms, over %.1f s:\n", plcs, delayMs, seconds);
  std::printf("  update period: median %.1f ms, p99 %.1f ms, slowest PLC's median %.1f ms (%zu periods)\n",
              percentile(all, 0.5), percentile(all, 0.99), worstMedian, all.size());
  std::printf("  one PLC after another would need at least %d ms per round (target: median <= 120 ms)\n",
              plcs * delayMs);
  return 0;
}
