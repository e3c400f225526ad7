// What a failing PLC costs the others: the update period of a healthy PLC's tag at 100 ms,
// alone and beside a PLC that refuses connections, never accepts one, accepts and never
// answers, answers after 900 ms, or resets its connection every few messages. Printed: the
// median and p99 of the periods between the healthy PLC's reads (as the simulator received
// them), and the p99 against the p99 alone. Target: within 10 % of the period alone.
//
// Usage: bench_unreachable_plc [seconds per measurement, default 5]
#include <cstdlib>
#include <thread>

#include "bench/PollingBenchSupport.h"

using namespace zentarc;
using namespace zentarc::bench;

namespace {

struct Neighbour {
  const char* name;
  bool present;  // false: nothing listens on its address, every connect is refused
  plcsim::Faults faults;
};

struct Periods {
  double median = -1, p99 = -1;
  std::size_t reads = 0;
  unsigned reportedCode = 0;
};

Periods healthyPeriods(const Neighbour* neighbour, int index, double seconds) {
  Plant plant;
  const std::string healthyAddress = "127.0.4." + std::to_string(220 + 2 * index);
  PlcDevice* healthy = plant.addPlc(healthyAddress);
  plant.addTags(healthy, 1);
  ReadTimes times;
  times.watch(*plant.sims[0]);
  if (neighbour) {
    PlcDevice* other = plant.addPlc("127.0.4." + std::to_string(221 + 2 * index), neighbour->present, neighbour->faults);
    plant.addTags(other, 1);
  }
  plant.start();
  auto group = plant.activateAll(100);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // settled, the neighbour failing
  times.start();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const std::vector<double> periods = times.periods();
  Periods p;
  p.reads = periods.size();
  if (!periods.empty()) {
    p.median = percentile(periods, 0.5);
    p.p99 = percentile(periods, 0.99);
  }
  std::lock_guard lock(plant.sink.mutex);
  for (unsigned code : plant.sink.codes)
    if (code != 0) p.reportedCode = code;
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  if (!(seconds > 0 && seconds < 600)) {
    std::fprintf(stderr, "usage: bench_unreachable_plc [seconds per measurement, 0 < s < 600]\n");
    return 2;
  }
  const Neighbour neighbours[] = {
      {"refusing connections", false, {}},
      {"never accepting a connection", true, {.silentConnect = true}},
      {"accepting, never answering", true, {.silent = true}},
      {"answering after 900 ms", true, {.delayMs = 900}},
      {"resetting every 4 messages", true, {.resetAfter = 4}},
  };
  std::printf("update period of a healthy PLC's tag at 100 ms, over %.1f s each:\n", seconds);
  const Periods alone = healthyPeriods(nullptr, 0, seconds);
  std::printf("  %-44s median %6.1f ms  p99 %6.1f ms  (%zu periods)\n", "alone:", alone.median, alone.p99, alone.reads);
  int index = 1;
  for (const Neighbour& n : neighbours) {
    const Periods p = healthyPeriods(&n, index++, seconds);
    const std::string label = std::string("beside a PLC ") + n.name + ":";
    std::printf("  %-44s median %6.1f ms  p99 %6.1f ms  (%zu periods)  p99 %+5.1f %% of alone, neighbour code %u\n",
                label.c_str(), p.median, p.p99, p.reads, 100.0 * (p.p99 - alone.p99) / alone.p99, p.reportedCode);
  }
  return 0;
}
