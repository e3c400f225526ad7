// What a PLC that cannot be reached costs the others: a healthy PLC's update period for a
// tag at 100 ms when it is alone, next to a PLC that refuses connections, and next to one
// that never answers a connect (each attempt waits out the 1 s connect limit, then every
// connection is dropped and rebuilt).
//
// Usage: bench_unreachable_plc [seconds per measurement, default 5]
#include <cstdlib>
#include <thread>

#include "bench/PollingBenchSupport.h"

using namespace zentarc;
using namespace zentarc::bench;

namespace {

enum class Neighbour { None, Refusing, Silent };

// Mean time between reads of the healthy PLC over `seconds`, in ms.
double healthyPeriod(Neighbour neighbour, double seconds, unsigned& reportedCode) {
  Plant plant;
  PlcDevice* healthy = plant.addPlc("127.0.4.220");
  plant.addTags(healthy, 1);
  if (neighbour != Neighbour::None) {
    // Nothing listens on .221; the simulator on .222 never accepts a connection.
    const bool silent = neighbour == Neighbour::Silent;
    PlcDevice* other = plant.addPlc(silent ? "127.0.4.222" : "127.0.4.221", silent, {.silentConnect = true});
    plant.addTags(other, 1);
  }
  plant.start();
  auto group = plant.activateAll(100);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // settled and running
  const auto before = plant.sims[0]->stats().reads;
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const auto reads = plant.sims[0]->stats().reads - before;
  const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  {
    std::lock_guard lock(plant.sink.mutex);
    reportedCode = 0;
    for (unsigned code : plant.sink.codes)
      if (code != 0) reportedCode = code;
  }
  return reads > 0 ? elapsed / double(reads) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  if (!(seconds > 0 && seconds < 600)) {
    std::fprintf(stderr, "usage: bench_unreachable_plc [seconds per measurement, 0 < s < 600]\n");
    return 2;
  }
  unsigned code = 0;
  const double alone = healthyPeriod(Neighbour::None, seconds, code);
  const double refusing = healthyPeriod(Neighbour::Refusing, seconds, code);
  const unsigned refusingCode = code;
  const double silent = healthyPeriod(Neighbour::Silent, seconds, code);
  const unsigned silentCode = code;
  std::printf("update period of a healthy PLC's tag at 100 ms, over %.1f s each:\n", seconds);
  std::printf("  alone:                                   %8.1f ms\n", alone);
  std::printf("  beside a PLC refusing connections (%2u):  %8.1f ms (%.1fx)\n", refusingCode, refusing,
              refusing / alone);
  std::printf("  beside a PLC never answering (%2u):       %8.1f ms (%.1fx)\n", silentCode, silent, silent / alone);
  return 0;
}
