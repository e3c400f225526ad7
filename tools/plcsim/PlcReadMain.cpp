// plcread: reads (and optionally writes) registers of a GE PLC through the server's own link,
// to check a PLC or a simulator from the command line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "server/plc/ErrorCatalogue.h"
#include "server/plc/GeLink.h"
#include "tools/plcsim/RegisterNames.h"

namespace {

using namespace zentarc;
using Clock = std::chrono::steady_clock;

void printHelp() {
  std::printf(
      "Usage: plcread --address A [options]\n"
      "Reads registers of the GE PLC at IPv4 address A (TCP port 18245) and prints them.\n\n"
      "Options:\n"
      "  --read R<a>[-R<b>]   registers to read, at most 512 (default R1)\n"
      "  --write R<n>=V       write V (-32768 to 65535) before the first read; repeatable\n"
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
  plcsim::RegisterRange range{0, 0};
  std::vector<plcsim::RegisterAssignment> writes;
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
      const auto r = plcsim::parseRegisterRange(v, &error);
      if (!r) return usage(error);
      if (r->count() > plc::ge::kMaxRegisters) return usage("--read: at most 512 registers at once");
      range = *r;
    } else if (arg == "--write") {
      const auto w = plcsim::parseRegisterAssignment(v, &error);
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

  for (const auto& w : writes) {
    rc = link.WriteRegisters(1, w.index, &w.value);
    if (rc != plc::kOk) {
      report(catalogue, address, "write", rc);
      return 1;
    }
  }

  const auto count = static_cast<std::uint16_t>(range.count());
  std::vector<std::uint16_t> values(count);
  int failures = 0;
  const auto start = Clock::now();
  for (long round = 0; round < repeat; ++round) {
    if (round > 0) std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    rc = link.SelectPlc(1);
    if (rc == plc::kOk) rc = link.ReadRegisters(count, range.first, values.data());
    if (rc != plc::kOk) {
      ++failures;
      report(catalogue, address, "read", rc);
      // As the server does after a transport failure: start again with fresh connections.
      if (plc::isTransportFailure(rc)) link.Setup({address});
      continue;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%6.1f s ", seconds);
    for (std::uint16_t i = 0; i < count; ++i) std::printf(" R%u=%u", range.first + i + 1u, values[i]);
    std::printf("\n");
    std::fflush(stdout);
  }
  return failures == 0 ? 0 : 1;
}
