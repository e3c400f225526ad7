// Write latency: from a client's write request to the moment the simulated PLC receives the
// write message, while 100 other tags are polled at 100 ms. The 10 ms the write queue must
// stay still before it is taken is part of every figure. Prints the median and the 99th
// percentile.
//
// Usage: bench_write_latency [writes, default 300]
#include <cstdlib>
#include <map>
#include <thread>

#include "bench/PollingBenchSupport.h"

using namespace zentarc;
using namespace zentarc::bench;

int main(int argc, char** argv) {
  const int writes = argc > 1 ? std::atoi(argv[1]) : 300;
  if (writes < 1 || writes > 100000) {
    std::fprintf(stderr, "usage: bench_write_latency [writes, 1..100000]\n");
    return 2;
  }
  Plant plant;
  PlcDevice* device = plant.addPlc("127.0.4.210");
  plant.addTags(device, 100);
  SOCmnPointer<PlcTag> target(new PlcTag("Setpoint", 3, VT_UI2, "", 1000, 0, 0, device, plant.queues));

  std::mutex mutex;
  std::map<std::uint16_t, Clock::time_point> received;  // written value -> arrival
  plant.sims[0]->setObserver([&](const plcsim::LoggedMessage& m) {
    if (m.request.kind != plcsim::MessageKind::Write || m.request.index != 1000 || m.request.values.empty()) return;
    std::lock_guard lock(mutex);
    received.emplace(m.request.values[0], Clock::now());
  });
  plant.start();
  auto group = plant.activateAll(100);
  // Measured once the polling runs steadily, not while the activations settle.
  if (!waitFor([&] { return plant.allHaveValues(); }, 10000)) {
    std::fprintf(stderr, "bench_write_latency: the polled tags got no values\n");
    return 1;
  }

  std::vector<double> latencies;
  for (int i = 0; i < writes; ++i) {
    const auto value = static_cast<std::uint16_t>(i + 1);
    const auto sent = Clock::now();
    SOCmnPointer<SODaSRequest> request = target->submitWrite(SOCmnVariant::fromUI2(value));
    if (!request->waitForCompletion(5000) || request->getResult() != S_OK) {
      std::fprintf(stderr, "bench_write_latency: write %d did not complete\n", i);
      return 1;
    }
    {
      std::lock_guard lock(mutex);
      auto it = received.find(value);
      if (it == received.end()) {
        std::fprintf(stderr, "bench_write_latency: write %d never reached the PLC\n", i);
        return 1;
      }
      latencies.push_back(std::chrono::duration<double, std::milli>(it->second - sent).count());
    }
    // Clients do not write in step with the polling passes.
    std::this_thread::sleep_for(std::chrono::microseconds(500 + (i * 1777) % 7000));
  }
  std::printf("write latency over %d writes (client write -> PLC write message, 10 ms settle included):\n", writes);
  std::printf("median %.2f ms, 99th percentile %.2f ms, max %.2f ms\n", percentile(latencies, 0.5),
              percentile(latencies, 0.99), percentile(latencies, 1.0));
  return 0;
}
