// plcread: reads (and optionally writes) the memory of a GE PLC through the server's own
// link, to check a PLC or a simulator from the command line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "server/plc/ErrorCatalogue.h"
#include "server/plc/GeLink.h"
#include "common/configfile/MemoryArea.h"
#include "tools/plcsim/MemoryNames.h"

namespace {

using namespace zentarc;
using Clock = std::chrono::steady_clock;

void printHelp() {
  std::printf(
      "Usage: plcread --address A [options]\n"
      "Reads the memory of the GE PLC at IPv4 address A (TCP port 18245) and prints it, with\n"
      "the CPU's state.\n\n"
      "Options:\n"
      "  --read FIRST[-LAST]  words (R1-R10, AI1-AI4; at most 512) or bits (I1-I16, Q5; at\n"
      "                       most 8192) to read (default R1)\n"
      "  --write NAME=V       write a word (R5=42, -32768 to 65535) or a bit (Q3=1) before\n"
      "                       the first read; repeatable\n"
      "  --repeat N           read N times (default 1)\n"
      "  --interval MS        pause between reads in milliseconds (default 500)\n"
      "  --wait MS            keep trying to reach the PLC for up to MS ms (default 0)\n"
      "  --help               show this text\n"
      "Errors are shown with their text from error.dat beside this program.\n");
}

int usage(const std::string& message) {
  std::fprintf(stderr, "plcread: %s\nTry 'plcread --help'.\n", message.c_str());
  return 2;
}

bool parseNumber(const std::string& text, long max, long& out) {
  char* end = nullptr;
  out = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && out >= 0 && out <= max;
}

void report(const plc::ErrorCatalogue& catalogue, const std::string& address, const char* what,
            plc::ResultCode code) {
  const auto text = catalogue.Text(code);
  std::fprintf(stderr, "plcread: %s: %s failed: error %u%s%s\n", address.c_str(), what, code,
               text ? ": " : "", text ? text->c_str() : "");
}

}  // namespace

int main(int argc, char** argv) {
  std::string address;
  plcsim::MemoryRange range{};
  std::vector<plcsim::MemoryAssignment> writes;
  long repeat = 1, intervalMs = 500, waitMs = 0;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string error;
    if (arg == "--help" || arg == "-h") {
      printHelp();
      return 0;
    }
    if (i + 1 >= argc) return usage("unknown option or missing value: '" + arg + "'");
    const std::string v = argv[++i];
    if (arg == "--address") {
      address = v;
    } else if (arg == "--read") {
      const auto r = plcsim::parseMemoryRange(v, &error);
      if (!r) return usage(error);
      const bool bits = configfile::isBitArea(r->area);
      if (!bits && r->count() > plc::ge::kMaxRegisters) return usage("--read: at most 512 registers at once");
      if (bits && plc::ge::dataBytes(plc::ge::Unit::Bit, r->first, r->count()) > plc::ge::kMaxDataBytes)
        return usage("--read: at most 8192 bits at once");
      range = *r;
    } else if (arg == "--write") {
      const auto w = plcsim::parseMemoryAssignment(v, &error);
      if (!w) return usage(error);
      writes.push_back(*w);
    } else if (arg == "--repeat") {
      if (!parseNumber(v, 1000000, repeat) || repeat < 1) return usage("--repeat: '" + v + "' is not a count from 1");
    } else if (arg == "--interval") {
      if (!parseNumber(v, 3600000, intervalMs)) return usage("--interval: '" + v + "' is not a number of milliseconds");
    } else if (arg == "--wait") {
      if (!parseNumber(v, 3600000, waitMs)) return usage("--wait: '" + v + "' is not a number of milliseconds");
    } else {
      return usage("unknown option '" + arg + "'");
    }
  }
  if (address.empty()) return usage("give the PLC's --address");

  plc::ErrorCatalogue catalogue;
  catalogue.Load(plc::ErrorCatalogue::DefaultPath());
  plc::GeLink link;
  if (link.Setup({address}) != plc::kOk) {
    report(catalogue, address, "set-up", plc::kResourceFailure);
    return 1;
  }

  // Reach the PLC, retrying (bounded by --wait) while it is still starting up.
  const auto giveUp = Clock::now() + std::chrono::milliseconds(waitMs);
  plc::ResultCode rc = link.SelectPlc(1);
  while (rc != plc::kOk && Clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    link.Setup({address});
    rc = link.SelectPlc(1);
  }
  if (rc != plc::kOk) {
    report(catalogue, address, "connect", rc);
    return 1;
  }

  // Words in word mode, bits in bit mode: a bit write changes exactly that bit.
  const auto selectorOf = [](configfile::MemoryArea area) {
    const auto& e = configfile::memoryAreaEntry(area);
    return e.bitArea ? e.bitSelector : e.wordSelector;
  };
  const auto unitOf = [](configfile::MemoryArea area) {
    return configfile::isBitArea(area) ? plc::ge::Unit::Bit : plc::ge::Unit::Word;
  };
  for (const auto& w : writes) {
    std::uint8_t data[2];
    if (configfile::isBitArea(w.area)) data[0] = static_cast<std::uint8_t>(w.value << (w.index % 8));
    else plc::ge::putWord(data, w.value);
    rc = link.WriteMemory(selectorOf(w.area), unitOf(w.area), w.index, 1, data);
    if (rc != plc::kOk) {
      report(catalogue, address, "write", rc);
      return 1;
    }
  }

  const auto count = static_cast<std::uint16_t>(range.count());
  const std::string areaName(configfile::memoryAreaName(range.area));
  const bool bits = configfile::isBitArea(range.area);
  std::vector<std::uint8_t> data(plc::ge::kMaxDataBytes);
  int failures = 0;
  const auto start = Clock::now();
  for (long round = 0; round < repeat; ++round) {
    if (round > 0) std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    rc = link.SelectPlc(1);
    if (rc == plc::kOk) rc = link.ReadMemory(selectorOf(range.area), unitOf(range.area), range.first, count, data.data());
    if (rc != plc::kOk) {
      ++failures;
      report(catalogue, address, "read", rc);
      // As the server does after a transport failure: start again with fresh connections.
      if (plc::isTransportFailure(rc)) link.Setup({address});
      continue;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%6.1f s ", seconds);
    for (std::uint16_t i = 0; i < count; ++i) {
      const unsigned shifted = range.first % 8u + i;
      const unsigned value = bits ? (data[shifted / 8] >> (shifted % 8)) & 1u : plc::ge::getWord(&data[2u * i]);
      std::printf(" %s%u=%u", areaName.c_str(), range.first + i + 1u, value);
    }
    if (const auto cpu = link.cpuStatus(1)) std::printf("  (CPU: %s)", plc::cpuStateText(cpu->stateCode()));
    std::printf("\n");
    std::fflush(stdout);
  }
  return failures == 0 ? 0 : 1;
}
