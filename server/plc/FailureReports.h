#pragma once
// When a PLC worker tells its sink (the window, the log, the service status) of its PLC's
// state. A failure is told at once, and so are a different failure and a demotion; the same
// failure again after 10 minutes, so that a log read later still shows it. Working again is
// told only once the PLC kept working 5 s. A PLC that fails again soon after it worked (it
// flaps: a reboot loop, a loose cable) is summarised at most once a minute instead of being
// told of at every flap.
#include <cstdint>
#include <deque>
#include <optional>

#include "server/plc/ResultCodes.h"

namespace zentarc {

inline constexpr std::uint32_t kFailureReminderMs = 10 * 60 * 1000;
inline constexpr std::uint32_t kSteadyMs = 5000;
inline constexpr std::uint32_t kFlapSummaryMs = 60 * 1000;

class FailureReports {
 public:
  // The PLC's state at tick `now`; what to tell now, if anything: the code, or 0 for
  // working again.
  std::optional<plc::ResultCode> update(std::uint32_t now, plc::ResultCode code, bool demoted);
  // Whether something told may be followed by a recovery or a reminder: update() is then
  // worth calling now and then, even when nothing changed.
  bool pending() const { return reported_ != plc::kOk; }
  // Failures that began within the minute before `now`.
  std::uint32_t failuresInLastMinute(std::uint32_t now);

 private:
  plc::ResultCode reported_ = plc::kOk;  // what was told last (0: working, or nothing yet)
  bool reportedDemoted_ = false;
  std::uint32_t reportedAt_ = 0;
  std::uint32_t failedAt_ = 0;           // the last tick the PLC was seen failing
  bool failing_ = false;
  bool workedSinceReport_ = false;
  std::uint32_t flaps_ = 0;              // failures after a short recovery, not told yet
  std::deque<std::uint32_t> starts_;     // ticks at which failures began, the last minute's
};

}  // namespace zentarc
