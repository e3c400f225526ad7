// CPU cost of taking in a cyclic block's registers: conversion and storing into the tags'
// caches, with the PLC replaced by a register table in memory. The scan benchmark shows this
// cost against the network's; here it stands alone, per block and per tag.
//
// Usage: bench_block_store [seconds, default 2]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/PollingBenchSupport.h"

using namespace zentarc;
using namespace zentarc::bench;

namespace {

// Values change on every read, as on a busy plant: nothing can be skipped as unchanged.
class ChangingTable : public RegisterAccess {
 public:
  plc::ResultCode ReadRegisters(std::uint16_t count, std::uint16_t index, std::uint16_t* destination) override {
    ++pass_;
    for (std::uint16_t i = 0; i < count; ++i) destination[i] = static_cast<std::uint16_t>(index + i + pass_);
    return plc::kOk;
  }
  plc::ResultCode WriteRegisters(std::uint16_t, std::uint16_t, const std::uint16_t*) override { return plc::kOk; }

 private:
  std::uint16_t pass_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  if (!(seconds > 0 && seconds < 600)) {
    std::fprintf(stderr, "usage: bench_block_store [seconds, 0 < s < 600]\n");
    return 2;
  }
  Plant plant;
  constexpr int kPlcs = 4, kTagsPerPlc = 2500;
  for (int p = 0; p < kPlcs; ++p) plant.addTags(plant.addPlc("127.0.9." + std::to_string(100 + p), false), kTagsPerPlc);
  std::size_t blocks = 0;
  for (int p = 0; p < kPlcs; ++p) {
    PlcDevice* device = plant.devices.getIndex(p);
    for (const auto& tag : plant.tags)
      if (plcDeviceOf(*tag) == device) device->AddToCyclic(tag.get(), 100);
    device->RecomputeRanges();
    blocks += device->cyclicBlocks.size();
  }

  ChangingTable table;
  std::uint64_t scans = 0;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    for (int p = 0; p < kPlcs; ++p) {
      PlcDevice* device = plant.devices.getIndex(p);
      for (const auto& block : device->cyclicBlocks) {
        plc::ResultCode code = plc::kOk;
        device->ReadCyclicBlock(*block, code, table);
        if (code != plc::kOk) {
          std::fprintf(stderr, "bench_block_store: a block failed with code %d\n", int(code));
          return 1;
        }
      }
    }
    ++scans;
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const double perScan = elapsed / double(scans);
  std::printf("%d tags of mixed types in %zu cyclic blocks\n", kPlcs * kTagsPerPlc, blocks);
  std::printf("one full scan taken in: %.3f ms, %.2f us per block, %.0f ns per tag\n", perScan * 1e3,
              perScan * 1e6 / double(blocks), perScan * 1e9 / double(kPlcs * kTagsPerPlc));
  return 0;
}
