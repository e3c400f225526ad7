#include "server/plc/FailureReports.h"

namespace zentarc {

std::uint32_t FailureReports::failuresInLastMinute(std::uint32_t now) {
  while (!starts_.empty() && now - starts_.front() >= kFlapSummaryMs) starts_.pop_front();
  return static_cast<std::uint32_t>(starts_.size());
}

std::optional<plc::ResultCode> FailureReports::update(std::uint32_t now, plc::ResultCode code, bool demoted) {
  if (code != plc::kOk) {
    if (!failing_) starts_.push_back(now);
    failing_ = true;
    failedAt_ = now;
  } else {
    failing_ = false;
  }
  failuresInLastMinute(now);

  if (code == plc::kOk) {
    if (reported_ == plc::kOk) return std::nullopt;
    workedSinceReport_ = true;
    if (now - failedAt_ < kSteadyMs) return std::nullopt;
    reported_ = plc::kOk;
    reportedDemoted_ = false;
    workedSinceReport_ = false;
    flaps_ = 0;
    return plc::kOk;
  }
  auto tell = [&] {
    reported_ = code;
    reportedDemoted_ = reportedDemoted_ || demoted;
    reportedAt_ = now;
    return code;
  };
  if (reported_ == plc::kOk) {
    reportedDemoted_ = false;
    workedSinceReport_ = false;
    flaps_ = 0;
    return tell();
  }
  // Failing again after it worked for less than the steady time: one more flap.
  if (workedSinceReport_) {
    ++flaps_;
    workedSinceReport_ = false;
  }
  if (flaps_ > 0) {
    if (now - reportedAt_ < kFlapSummaryMs) return std::nullopt;
    flaps_ = 0;
    return tell();
  }
  const bool changed = code != reported_ || (demoted && !reportedDemoted_);
  if (!changed && now - reportedAt_ < kFailureReminderMs) return std::nullopt;
  return tell();
}

}  // namespace zentarc
