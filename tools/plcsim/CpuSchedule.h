#pragma once
// The simulated CPU's run state on the command line: a state by name, at once or from some
// seconds after the start ("stop@10"), so that a demo or a test sees a PLC stop and run again.
#include <optional>
#include <string>
#include <string_view>

#include "server/plc/CpuStatus.h"

namespace zentarc::plcsim {

struct CpuStep {
  plc::CpuState state = plc::CpuState::RunEnabled;
  double atSeconds = 0;  // after the start
};

// "run", "run-disabled", "stop", "faulted", "halted", "suspended", "stop-enabled".
std::optional<plc::CpuState> parseCpuStateName(std::string_view name);
// "STATE" or "STATE@S" (S seconds, fractions allowed).
std::optional<CpuStep> parseCpuStep(std::string_view text, std::string* error);
// The names with what they mean, one per line, for --help.
std::string cpuStateHelp();

}  // namespace zentarc::plcsim
