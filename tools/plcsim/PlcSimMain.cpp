// plcsim: simulated GE PLCs on local addresses, for demos, tests and trying out a
// configuration without a plant.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/plcsim/AddressRange.h"
#include "tools/plcsim/Animation.h"
#include "tools/plcsim/CpuSchedule.h"
#include "tools/plcsim/FaultModes.h"
#include "tools/plcsim/MemoryNames.h"
#include "tools/plcsim/Simulator.h"

namespace {

using namespace zentarc::plcsim;

void printHelp() {
  std::printf(
      "Usage: plcsim --address A [--address B ...] [options]\n"
      "Serves simulated GE PLCs on TCP port 18245 of the given IPv4 addresses (use loopback\n"
      "addresses such as 127.0.0.2) until Ctrl+C, SIGTERM or --duration.\n"
      "Each PLC has every memory area: the word tables R, AI and AQ (65536 words each) and the\n"
      "bit tables I, Q, T, M, G, S, SA, SB and SC (65536 bits each), all 0 at the start.\n"
      "Requests past an area's size are refused (status 0xD1), as a real PLC does.\n\n"
      "Options:\n"
      "  --address A[-B]          serve a PLC on A, or one on each address from A to B (the last\n"
      "                           number counting up: 127.0.1.1-127.0.1.100 or 127.0.1.1-100);\n"
      "                           repeat for more PLCs\n"
      "  --set NAME=V             set a word (R1=42, AI5=100; -32768 to 65535) or a bit (I17=1,\n"
      "                           Q3=0) on every PLC; repeatable\n"
      "  --size AREA=N            give an area N words (R, AI, AQ) or N bits (the others, a\n"
      "                           multiple of 8): --size AI=64 --size I=256; repeatable\n"
      "  --animate [KIND:]FIRST[-LAST]\n"
      "                           let words or bits change by themselves (repeatable). KIND:\n"
      "                             counter  +1 every 100 ms (the default); bits count in binary\n"
      "                             sine     0 to 2000 around 1000, a 10 s period; a bit is on\n"
      "                                      in the upper half\n"
      "                             toggle   0 and 1, changing every second\n"
      "                           e.g. --animate R1-R4 --animate sine:AI1-AI4 --animate toggle:Q1-Q8\n"
      "  --cpu-state STATE[@S]    the CPU's state, reported in every answer: at once, or from S\n"
      "                           seconds after the start (repeatable: --cpu-state stop@10\n"
      "                           --cpu-state run@20). STATE is one of\n%s"
      "                           While running, SIGUSR1 stops every CPU (stop) and SIGUSR2\n"
      "                           runs them again (run): kill -USR1 <pid>\n"
      "  --fault NAME[=N]         misbehave on purpose (repeatable):\n%s"
      "  --duration S             stop after S seconds\n"
      "  --verbose                print every message served\n"
      "  --help                   show this text\n",
      cpuStateHelp().c_str(), faultHelp().c_str());
}

int usage(const std::string& message) {
  std::fprintf(stderr, "plcsim: %s\nTry 'plcsim --help'.\n", message.c_str());
  return 2;
}

const char* outcomeName(Outcome o) {
  switch (o) {
    case Outcome::Answered: return "answered";
    case Outcome::Refused: return "refused";
    case Outcome::Unanswered: return "not answered";
    case Outcome::Closed: return "connection closed";
  }
  return "";
}

std::string unitText(const Request& r) {
  const auto name = std::string(zentarc::configfile::memoryAreaName(r.area));
  switch (r.unit) {
    case zentarc::plc::ge::Unit::Word: return " " + name + std::to_string(r.index + 1u) + " x" + std::to_string(r.count);
    case zentarc::plc::ge::Unit::Byte:
      return " " + name + std::to_string(8u * r.index + 1u) + " x" + std::to_string(r.count) + " bytes";
    case zentarc::plc::ge::Unit::Bit: return " " + name + std::to_string(r.index + 1u) + " x" + std::to_string(r.count) + " bits";
  }
  return {};
}

struct AreaSize {
  MemoryArea area;
  std::uint32_t units;
};

std::optional<AreaSize> parseAreaSize(const std::string& text, std::string* error) {
  const auto eq = text.find('=');
  const auto area = eq == std::string::npos ? std::nullopt
                                            : zentarc::configfile::memoryAreaForName(text.substr(0, eq));
  char* end = nullptr;
  const std::string number = eq == std::string::npos ? std::string() : text.substr(eq + 1);
  const long units = std::strtol(number.c_str(), &end, 10);
  bool ok = area && !number.empty() && *end == '\0' && units >= 0 && units <= 65536;
  if (ok && zentarc::configfile::isBitArea(*area)) ok = units % 8 == 0;
  if (!ok) {
    *error = "'" + text + "' is not like AI=64 or I=256 (words from 0 to 65536, bits a multiple of 8)";
    return std::nullopt;
  }
  return AreaSize{*area, static_cast<std::uint32_t>(units)};
}

void setCpuStates(const std::vector<std::unique_ptr<Simulator>>& plcs, zentarc::plc::CpuState state) {
  for (const auto& sim : plcs) sim->setCpuState(state);
  std::printf("plcsim: CPU state %s\n", zentarc::plc::cpuStateText(static_cast<unsigned>(state)));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> addresses;
  std::vector<MemoryAssignment> sets;
  std::vector<AreaSize> sizes;
  std::vector<CpuStep> cpuSteps;
  std::vector<Animation> animations;
  Faults faults;
  long durationSeconds = -1;
  bool verbose = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v, error;
    if (arg == "--help" || arg == "-h") {
      printHelp();
      return 0;
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg == "--address") {
      if (!value(v)) return usage("--address needs an IPv4 address");
      const auto run = parseAddressRun(v, &error);
      if (!run) return usage("--address: " + error);
      addresses.insert(addresses.end(), run->begin(), run->end());
    } else if (arg == "--set") {
      if (!value(v)) return usage("--set needs NAME=V, like R1=42 or I17=1");
      const auto a = parseMemoryAssignment(v, &error);
      if (!a) return usage(error);
      sets.push_back(*a);
    } else if (arg == "--size") {
      if (!value(v)) return usage("--size needs AREA=N, like AI=64");
      const auto a = parseAreaSize(v, &error);
      if (!a) return usage(error);
      sizes.push_back(*a);
    } else if (arg == "--cpu-state") {
      if (!value(v)) return usage("--cpu-state needs a state, like stop or run@20");
      const auto step = parseCpuStep(v, &error);
      if (!step) return usage(error);
      cpuSteps.push_back(*step);
    } else if (arg == "--animate") {
      if (!value(v)) return usage("--animate needs a range, like R1-R4 or toggle:Q1-Q8");
      const auto a = parseAnimation(v, &error);
      if (!a) return usage(error);
      animations.push_back(*a);
    } else if (arg == "--fault") {
      if (!value(v)) return usage("--fault needs a fault name");
      if (!applyFault(faults, v, &error)) return usage(error);
    } else if (arg == "--duration") {
      if (!value(v)) return usage("--duration needs a number of seconds");
      char* end = nullptr;
      durationSeconds = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || durationSeconds < 0 || durationSeconds > 100000000)
        return usage("--duration: '" + v + "' is not a whole number of seconds");
    } else {
      return usage("unknown option '" + arg + "'");
    }
  }
  if (addresses.empty()) return usage("give at least one --address");

  // Signals are taken by sigtimedwait below; the simulator threads inherit the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);
  sigaddset(&stopSignals, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  // States from the start apply before the first connection; later ones in time order.
  std::stable_sort(cpuSteps.begin(), cpuSteps.end(),
                   [](const CpuStep& a, const CpuStep& b) { return a.atSeconds < b.atSeconds; });
  zentarc::plc::CpuState firstState = zentarc::plc::CpuState::RunEnabled;
  std::size_t nextStep = 0;
  while (nextStep < cpuSteps.size() && cpuSteps[nextStep].atSeconds == 0) firstState = cpuSteps[nextStep++].state;

  std::mutex printLock;
  std::vector<std::unique_ptr<Simulator>> plcs;
  for (const std::string& address : addresses) {
    auto sim = std::make_unique<Simulator>(
        Options{.address = address, .faults = faults, .logLimit = 0, .cpuState = firstState});
    for (const auto& z : sizes) sim->setAreaSize(z.area, z.units);
    for (const auto& s : sets) {
      if (zentarc::configfile::isBitArea(s.area)) sim->setBit(s.area, s.index, s.value != 0);
      else sim->setWord(s.area, s.index, s.value);
    }
    for (const auto& a : animations) sim->addAnimation(a);
    if (verbose) {
      sim->setObserver([&printLock, address](const LoggedMessage& m) {
        std::lock_guard lock(printLock);
        std::printf("%s #%llu %s seq %u", address.c_str(), static_cast<unsigned long long>(m.connection),
                    kindName(m.request.kind), m.request.sequence);
        if (m.request.count > 0) std::printf("%s", unitText(m.request).c_str());
        std::printf(": %s", outcomeName(m.outcome));
        if (!m.request.problem.empty()) std::printf(" (%s)", m.request.problem.c_str());
        std::printf("\n");
        std::fflush(stdout);
      });
    }
    std::string error;
    if (!sim->start(&error)) {
      std::fprintf(stderr, "plcsim: %s\n", error.c_str());
      return 1;
    }
    std::printf("plcsim: PLC at %s:%u ready\n", address.c_str(), zentarc::plc::ge::kPort);
    plcs.push_back(std::move(sim));
  }
  std::fflush(stdout);

  // Until a stop signal or the end of --duration, changing the CPU states on schedule and
  // on SIGUSR1 and SIGUSR2.
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto at = [&](double seconds) {
    return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  };
  for (;;) {
    auto wakeAt = Clock::time_point::max();
    if (durationSeconds >= 0) wakeAt = at(static_cast<double>(durationSeconds));
    if (nextStep < cpuSteps.size()) wakeAt = std::min(wakeAt, at(cpuSteps[nextStep].atSeconds));
    int signal = 0;
    if (wakeAt == Clock::time_point::max()) {
      sigwait(&stopSignals, &signal);
    } else {
      const auto left = std::max<Clock::duration>(wakeAt - Clock::now(), Clock::duration::zero());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      timespec limit{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
      signal = sigtimedwait(&stopSignals, nullptr, &limit);
    }
    if (signal == SIGINT || signal == SIGTERM) break;
    if (signal == SIGUSR1) setCpuStates(plcs, zentarc::plc::CpuState::StopDisabled);
    if (signal == SIGUSR2) setCpuStates(plcs, zentarc::plc::CpuState::RunEnabled);
    const auto now = Clock::now();
    while (nextStep < cpuSteps.size() && at(cpuSteps[nextStep].atSeconds) <= now)
      setCpuStates(plcs, cpuSteps[nextStep++].state);
    if (durationSeconds >= 0 && now >= at(static_cast<double>(durationSeconds))) break;
  }
  for (auto& sim : plcs) {
    sim->stop();
    const Stats s = sim->stats();
    std::printf("plcsim: %s stopped: %llu connections, %llu reads, %llu writes, %llu refused, %llu bad layouts\n",
                sim->address().c_str(), static_cast<unsigned long long>(s.connections),
                static_cast<unsigned long long>(s.reads), static_cast<unsigned long long>(s.writes),
                static_cast<unsigned long long>(s.refused), static_cast<unsigned long long>(s.layoutErrors));
  }
  return 0;
}
