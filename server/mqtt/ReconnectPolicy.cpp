#include "server/mqtt/ReconnectPolicy.h"

#include <algorithm>

namespace zentarc::mqtt {

std::chrono::seconds ReconnectPolicy::failed(bool refused) {
  if (refused) {
    next_ = kLongest;
    return kLongest;
  }
  const std::chrono::seconds wait = next_;
  next_ = std::min(next_ * 2, kLongest);
  return wait;
}

bool ReasonLog::changed(const std::string& reason) {
  if (reason == last_) return false;
  last_ = reason;
  return true;
}

}  // namespace zentarc::mqtt
