// plcsim: simulated GE PLCs on local addresses, for demos, tests and trying out a
// configuration without a plant.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/plcsim/AddressRange.h"
#include "tools/plcsim/Animation.h"
#include "tools/plcsim/FaultModes.h"
#include "tools/plcsim/RegisterNames.h"
#include "tools/plcsim/Simulator.h"

namespace {

using namespace zentarc::plcsim;

void printHelp() {
  std::printf(
      "Usage: plcsim --address A [--address B ...] [options]\n"
      "Serves simulated GE PLCs on TCP port 18245 of the given IPv4 addresses (use loopback\n"
      "addresses such as 127.0.0.2) until Ctrl+C, SIGTERM or --duration.\n"
      "Each PLC holds 65536 registers, R1 to R65536, all 0 at the start.\n\n"
      "Options:\n"
      "  --address A[-B]          serve a PLC on A, or one on each address from A to B (the last\n"
      "                           number counting up: 127.0.1.1-127.0.1.100 or 127.0.1.1-100);\n"
      "                           repeat for more PLCs\n"
      "  --set R<n>=V             set register n to V (-32768 to 65535) on every PLC; repeatable\n"
      "  --animate [KIND:]R<a>[-R<b>]\n"
      "                           let registers change by themselves (repeatable). KIND:\n"
      "                             counter  +1 every 100 ms (the default)\n"
      "                             sine     0 to 2000 around 1000, a 10 s period\n"
      "                             toggle   0 and 1, changing every second\n"
      "                           e.g. --animate R1-R4 --animate sine:R5-R8 --animate toggle:R9\n"
      "  --fault NAME[=N]         misbehave on purpose (repeatable):\n%s"
      "  --duration S             stop after S seconds\n"
      "  --verbose                print every message served\n"
      "  --help                   show this text\n",
      faultHelp().c_str());
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

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> addresses;
  std::vector<RegisterAssignment> sets;
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
      if (!value(v)) return usage("--set needs R<n>=V");
      const auto a = parseRegisterAssignment(v, &error);
      if (!a) return usage(error);
      sets.push_back(*a);
    } else if (arg == "--animate") {
      if (!value(v)) return usage("--animate needs a register range");
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
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::mutex printLock;
  std::vector<std::unique_ptr<Simulator>> plcs;
  for (const std::string& address : addresses) {
    auto sim = std::make_unique<Simulator>(Options{.address = address, .faults = faults, .logLimit = 0});
    for (const auto& s : sets) sim->setRegister(s.index, s.value);
    for (const auto& a : animations) sim->addAnimation(a);
    if (verbose) {
      sim->setObserver([&printLock, address](const LoggedMessage& m) {
        std::lock_guard lock(printLock);
        std::printf("%s #%llu %s seq %u", address.c_str(), static_cast<unsigned long long>(m.connection),
                    kindName(m.request.kind), m.request.sequence);
        if (m.request.count > 0) std::printf(" R%u x%u", m.request.index + 1u, m.request.count);
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

  if (durationSeconds >= 0) {
    timespec limit{static_cast<time_t>(durationSeconds), 0};
    sigtimedwait(&stopSignals, nullptr, &limit);
  } else {
    int signal = 0;
    sigwait(&stopSignals, &signal);
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
