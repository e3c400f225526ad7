#pragma once
// The PLC's own status, which every answer to a read or a write carries in bytes 50-55: the
// control program number, the privilege level, the last sweep time and the status word,
// whose top four bits are the CPU's run state.
#include <cstdint>

namespace zentarc::plc {

enum class CpuState : std::uint8_t {
  RunEnabled = 0,
  RunDisabled = 1,
  StopDisabled = 2,
  StopFaulted = 3,
  Halted = 4,
  Suspended = 5,
  StopEnabled = 6,
};

struct CpuStatus {
  std::uint8_t programNumber = 0;
  std::uint8_t privilegeLevel = 0;
  std::uint16_t sweepTimeMs = 0;
  std::uint16_t statusWord = 0;

  unsigned stateCode() const { return statusWord >> 12; }
  // Runs its program, outputs enabled or not.
  bool running() const { return stateCode() <= 1; }
  bool oversweep() const { return (statusWord & 0x0001) != 0; }
  bool runSwitch() const { return (statusWord & 0x0100) != 0; }
  bool operator==(const CpuStatus&) const = default;
};

// The status word of a CPU in `state`, with the other bits as given.
constexpr std::uint16_t statusWordFor(CpuState state, std::uint16_t otherBits = 0) {
  return static_cast<std::uint16_t>((static_cast<unsigned>(state) << 12) | (otherBits & 0x0FFF));
}

// "run, outputs enabled", "run, outputs disabled", "stop, outputs disabled", "stop, faulted",
// "halted", "suspended", "stop, outputs enabled"; "unknown" for any other code.
const char* cpuStateText(unsigned stateCode);
inline constexpr const char* kCpuStateUnknown = "unknown";
// A state the PLC should not be left in unnoticed: stopped (any way), halted or suspended.
constexpr bool isCpuStateWarning(unsigned stateCode) { return stateCode >= 2; }

}  // namespace zentarc::plc
