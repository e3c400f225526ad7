#pragma once
// When to try the broker again: 1 s after a failure, doubling up to 30 s; a broker that
// refuses us (credentials, certificate) is tried at the slowest pace at once, since trying
// sooner cannot help. A connection that worked starts the count again.
#include <chrono>
#include <string>

namespace zentarc::mqtt {

class ReconnectPolicy {
 public:
  static constexpr std::chrono::seconds kFirst{1};
  static constexpr std::chrono::seconds kLongest{30};

  // The wait before the next try after a failure.
  std::chrono::seconds failed(bool refused);
  void connected() { next_ = kFirst; }

 private:
  std::chrono::seconds next_ = kFirst;
};

// Logs a failure reason only when it differs from the one logged before, so a broker that
// stays away or keeps refusing fills no log; a connection that works forgets it.
class ReasonLog {
 public:
  // True when `reason` is news.
  bool changed(const std::string& reason);
  void reset() { last_.clear(); }

 private:
  std::string last_;
};

}  // namespace zentarc::mqtt
