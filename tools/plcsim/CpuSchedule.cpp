#include "tools/plcsim/CpuSchedule.h"

#include <array>
#include <cstdlib>

namespace zentarc::plcsim {

namespace {

struct StateName {
  const char* name;
  plc::CpuState state;
};

constexpr std::array<StateName, 7> kStateNames{{
    {"run", plc::CpuState::RunEnabled},
    {"run-disabled", plc::CpuState::RunDisabled},
    {"stop", plc::CpuState::StopDisabled},
    {"faulted", plc::CpuState::StopFaulted},
    {"halted", plc::CpuState::Halted},
    {"suspended", plc::CpuState::Suspended},
    {"stop-enabled", plc::CpuState::StopEnabled},
}};

}  // namespace

std::optional<plc::CpuState> parseCpuStateName(std::string_view name) {
  for (const StateName& s : kStateNames)
    if (name == s.name) return s.state;
  return std::nullopt;
}

std::optional<CpuStep> parseCpuStep(std::string_view text, std::string* error) {
  const auto at = text.find('@');
  const auto state = parseCpuStateName(text.substr(0, at));
  CpuStep step;
  bool ok = state.has_value();
  if (ok) step.state = *state;
  if (ok && at != std::string_view::npos) {
    const std::string seconds(text.substr(at + 1));
    char* end = nullptr;
    step.atSeconds = std::strtod(seconds.c_str(), &end);
    ok = !seconds.empty() && *end == '\0' && step.atSeconds >= 0 && step.atSeconds <= 1e8;
  }
  if (!ok) {
    if (error)
      *error = "'" + std::string(text) +
               "' is not a CPU state like run, stop or faulted, optionally with @SECONDS (see --help)";
    return std::nullopt;
  }
  return step;
}

std::string cpuStateHelp() {
  std::string text;
  for (const StateName& s : kStateNames) {
    text += std::string(29, ' ') + s.name + std::string(14 - std::string_view(s.name).size(), ' ') +
            plc::cpuStateText(static_cast<unsigned>(s.state)) + "\n";
  }
  return text;
}

}  // namespace zentarc::plcsim
