// Scan cost of the PLC workers, for three layouts on 4 simulated PLCs:
//   dense:  10,000 tags of mixed types on consecutive registers, all active at 100 ms;
//   sparse: 1,000 VT_I2 tags 20 registers apart (250 per PLC), all active at 100 ms;
//   mixed:  10,000 tags over the memory areas, a third in bit tables (%I and %Q bits, %M
//           32-bit values), the rest in %R (mixed types) and %AI, all active at 100 ms.
// Printed per layout: the cyclic blocks and messages of one full scan (every block of every
// PLC read once), the update period seen at 100 ms, and the time of a full scan when every
// block is always due, divided by the time bare socket clients need for the same messages
// (one client per PLC, side by side, as the workers run), and beside it what bare clients
// need for one message per tag. Target for the overhead ratio: at most 1.3. With --one-cpu the whole process
// runs on one CPU: no wake-up crosses CPUs, which on a small virtual machine is where most
// of the run-to-run spread comes from.
//
// Usage: bench_polling_scan [seconds per measurement, default 2] [--one-cpu] [--layout dense|sparse|mixed]
#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "bench/PollingBenchSupport.h"
#include "server/plc/AreaRuns.h"
#include "server/plc/TagUnits.h"

using namespace zentarc;
using namespace zentarc::bench;

namespace {

constexpr int kPlcs = 4;
constexpr int kRounds = 7;

struct Layout {
  const char* name;
  const char* description;
  int tagsPerPlc;
  std::uint16_t spacing;  // registers from one tag's start to the next; 0: consecutive, mixed types
  bool areas;             // tags spread over the memory areas
};

const Layout kLayouts[] = {
    {"dense", "10,000 tags of mixed types on consecutive registers", 2500, 0, false},
    {"sparse", "1,000 VT_I2 tags 20 registers apart", 250, 20, false},
    {"mixed", "10,000 tags over %R, %AI, %I, %Q and %M, a third of them in bit tables", 2500, 0, true},
};

struct Piece {
  int plc;
  std::uint8_t selector;
  std::uint16_t index;
  std::uint16_t count;
  std::size_t dataBytes;
};

std::string plcAddress(int p) { return "127.0.4." + std::to_string(201 + p); }

void buildPlant(Plant& plant, const Layout& layout) {
  for (int p = 0; p < kPlcs; ++p) {
    PlcDevice* device = plant.addPlc(plcAddress(p));
    if (layout.areas) {
      // Per PLC: 1000 of the mix in %R, 666 words of %AI; 834 in bit tables: 417 inputs, 208
      // outputs every other bit, 209 32-bit values in %M.
      using configfile::MemoryArea;
      plant.addTags(device, 1000);
      plant.addAreaTags(device, MemoryArea::AI, VT_I2, 666, 1);
      plant.addAreaTags(device, MemoryArea::I, VT_BOOL, 417, 1);
      plant.addAreaTags(device, MemoryArea::Q, VT_BOOL, 208, 2);
      plant.addAreaTags(device, MemoryArea::M, VT_I4, 209, 32);
    } else if (layout.spacing == 0) {
      plant.addTags(device, layout.tagsPerPlc);
    } else {
      plant.addSpacedTags(device, layout.tagsPerPlc, layout.spacing);
    }
  }
}

// The read messages of one full scan, in the order the rotation sends them.
std::vector<Piece> scanMessages(Plant& plant) {
  std::vector<Piece> pieces;
  std::lock_guard lock(plant.queues->queueLock);
  for (int p = 0; p < kPlcs; ++p) {
    PlcDevice* device = plant.devices.getIndex(p);
    for (const auto& block : device->cyclicBlocks) {
      const std::uint32_t piece = maxPieceUnits(block->unit, 0);
      for (std::uint32_t done = 0; done < block->length; done += piece) {
        const auto index = static_cast<std::uint16_t>(block->firstRegister + done);
        const auto count = static_cast<std::uint16_t>(std::min(piece, block->length - done));
        pieces.push_back({p, areaSelector(block->area, block->unit), index, count,
                          ge::dataBytes(block->unit, index, count)});
      }
    }
  }
  return pieces;
}

std::uint64_t totalReads(const Plant& plant) {
  std::uint64_t reads = 0;
  for (const auto& sim : plant.sims) reads += sim->stats().reads;
  return reads;
}

// Seconds per full scan measured over `seconds` of polling.
double scanTime(Plant& plant, std::size_t messagesPerScan, double seconds) {
  const std::uint64_t before = totalReads(plant);
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const double scans = double(totalReads(plant) - before) / double(messagesPerScan);
  return scans > 0 ? elapsed / scans : -1;
}

// Seconds per full scan of bare clients, one per PLC side by side, each sending its PLC's
// messages of the scan over and over.
double bareScanTime(const std::vector<Piece>& pieces, double seconds) {
  std::vector<BareClient> clients(kPlcs);
  for (int p = 0; p < kPlcs; ++p)
    if (!clients[p].open(plcAddress(p))) return -1;
  std::atomic<std::uint64_t> sent{0};
  std::atomic<bool> failed{false};
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  std::vector<std::thread> threads;
  for (int p = 0; p < kPlcs; ++p)
    threads.emplace_back([&, p] {
      while (Clock::now() < end && !failed)
        for (const Piece& piece : pieces) {
          if (piece.plc != p) continue;
          if (!clients[p].read(piece.selector, piece.index, piece.count, piece.dataBytes)) failed = true;
          ++sent;
        }
    });
  for (auto& t : threads) t.join();
  if (failed) return -1;
  const double scans = double(sent) / double(pieces.size());
  return std::chrono::duration<double>(Clock::now() - start).count() / scans;
}

// One message per tag: what a scan of these tags costs without any block.
std::vector<Piece> perTagMessages(Plant& plant) {
  std::vector<Piece> pieces;
  for (const auto& tag : plant.tags)
    for (int p = 0; p < kPlcs; ++p)
      if (tag->device() == plant.devices.getIndex(p)) {
        const TagPlacement place = readPlacement(*tag);
        const auto index = static_cast<std::uint16_t>(place.first);
        const auto count = static_cast<std::uint16_t>(place.span);
        pieces.push_back({p, areaSelector(tag->area, place.unit), index, count,
                          ge::dataBytes(place.unit, index, count)});
      }
  return pieces;
}

// Keeps the process (and every thread it starts later) on the CPU it runs on now.
bool stayOnThisCpu() {
  const int cpu = sched_getcpu();
  if (cpu < 0) return false;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  return sched_setaffinity(0, sizeof set, &set) == 0;
}

// Polls until every tag has a value and the blocks have settled (a worker rebuilds its
// blocks once it has measured its PLC's answer times).
bool settle(Plant& plant) {
  if (!waitFor([&] { return plant.allHaveValues(); }, 30000)) return false;
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  return true;
}

int runLayout(const Layout& layout, double seconds) {
  std::printf("\n%s: %s on %d simulated PLCs, all active at 100 ms\n", layout.name, layout.description, kPlcs);
  std::vector<Piece> pieces;
  {
    Plant plant;
    buildPlant(plant, layout);
    plant.start();
    auto group = plant.activateAll(100);
    if (!settle(plant)) {
      std::fprintf(stderr, "bench_polling_scan: not every tag got a value within 30 s\n");
      return 1;
    }
    pieces = scanMessages(plant);
    std::size_t blocks = 0;
    for (int p = 0; p < kPlcs; ++p) blocks += plant.devices.getIndex(p)->cyclicBlocks.size();
    std::printf("cyclic blocks: %zu, messages per full scan: %zu\n", blocks, pieces.size());
    if (layout.areas) {
      for (const configfile::MemoryAreaEntry& e : configfile::kMemoryAreas) {
        std::size_t areaBlocks = 0, areaMessages = 0;
        for (int p = 0; p < kPlcs; ++p)
          for (const auto& block : plant.devices.getIndex(p)->cyclicBlocks) areaBlocks += block->area == e.area ? 1 : 0;
        for (const Piece& piece : pieces) areaMessages += areaSelector(e.area, e.bitArea ? ge::Unit::Byte : ge::Unit::Word) == piece.selector ? 1 : 0;
        if (areaBlocks > 0)
          std::printf("  %%%s: %zu blocks, %zu messages per full scan\n", std::string(e.name).c_str(), areaBlocks, areaMessages);
      }
    }
    const double period = scanTime(plant, pieces.size(), seconds);
    std::printf("full scans at rate 100 ms: one every %.1f ms\n", period * 1000);
  }

  // Every block always due: the thread reads back to back, so a scan shows its own cost.
  // Rounds alternate with the bare client, so that load from elsewhere on the machine hits
  // both alike. Reported: the best of each, and the median of each round's own ratio.
  double polled = 1e9, bare = 1e9, perTag = -1;
  std::size_t perTagCount = 0;
  std::vector<double> ratios;
  for (int round = 0; round < kRounds; ++round) {
    double roundPolled = -1;
    {
      Plant plant;
      buildPlant(plant, layout);
      std::atomic<std::uint32_t> tick{0};
      plant.start([&tick] { return tick.fetch_add(1000) + 1000; });
      auto group = plant.activateAll(100);
      if (!settle(plant)) {
        std::fprintf(stderr, "bench_polling_scan: not every tag got a value within 30 s\n");
        return 1;
      }
      const double t = scanTime(plant, pieces.size(), seconds);
      if (t <= 0) polled = -1;
      if (polled > 0) polled = std::min(polled, t);
      roundPolled = t;
      std::printf("  round %d: polled %.2f ms", round + 1, t * 1000);
    }
    {
      Plant plant;  // fresh simulators on the same addresses
      buildPlant(plant, layout);
      const double t = bareScanTime(pieces, seconds);
      if (t <= 0) bare = -1;
      if (bare > 0) bare = std::min(bare, t);
      if (t > 0 && roundPolled > 0) ratios.push_back(roundPolled / t);
      const std::vector<Piece> single = perTagMessages(plant);
      perTagCount = single.size();
      const double naive = bareScanTime(single, seconds / 2);
      if (naive > 0 && (perTag < 0 || naive < perTag)) perTag = naive;
      std::printf(", bare %.2f ms, ratio %.2f\n", t * 1000, t > 0 ? roundPolled / t : 0.0);
      std::fflush(stdout);
    }
  }
  if (polled <= 0 || bare <= 0 || perTag <= 0) {
    std::fprintf(stderr, "bench_polling_scan: a measurement failed\n");
    return 1;
  }
  std::printf("%s full scan, every block due (best of %d): %.2f ms polled, %.2f ms bare, ratio %.2f; "
              "median of the rounds' ratios %.2f (target <= 1.3)\n",
              layout.name, kRounds, polled * 1000, bare * 1000, polled / bare, percentile(ratios, 0.5));
  std::printf("%s: %zu messages per full scan; one message per tag (%zu) takes %.2f ms even with bare round trips\n",
              layout.name, pieces.size(), perTagCount, perTag * 1000);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 2.0;
  bool oneCpu = false;
  std::string only;
  bool bad = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--one-cpu") == 0) {
      oneCpu = true;
    } else if (std::strcmp(argv[i], "--layout") == 0 && i + 1 < argc) {
      only = argv[++i];
      bad = bad || (only != "dense" && only != "sparse" && only != "mixed");
    } else {
      char* end = nullptr;
      seconds = std::strtod(argv[i], &end);
      if (end == argv[i] || *end != '\0') seconds = -1;
    }
  }
  if (bad || !(seconds > 0 && seconds < 600)) {
    std::fprintf(stderr,
                 "usage: bench_polling_scan [seconds per measurement, 0 < s < 600] [--one-cpu] "
                 "[--layout dense|sparse|mixed]\n");
    return 2;
  }
  if (oneCpu && !stayOnThisCpu()) {
    std::fprintf(stderr, "bench_polling_scan: cannot keep the process on one CPU\n");
    return 1;
  }
  if (oneCpu) std::printf("on one CPU\n");
  for (const Layout& layout : kLayouts) {
    if (!only.empty() && only != layout.name) continue;
    if (const int rc = runLayout(layout, seconds); rc != 0) return rc;
  }
  return 0;
}
