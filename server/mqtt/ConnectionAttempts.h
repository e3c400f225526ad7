#pragma once
// The broker connection's ups and downs as every format's session keeps them: when to try
// again (ReconnectPolicy), the figures' last error, and a log line per new reason.
#include <chrono>
#include <string>

#include "server/mqtt/BrokerConnection.h"
#include "server/mqtt/PublisherEngine.h"
#include "server/mqtt/ReconnectPolicy.h"

namespace zentarc::mqtt {

class ConnectionAttempts {
 public:
  using Clock = std::chrono::steady_clock;
  explicit ConnectionAttempts(const EngineContext& context) : ctx_(context) {}

  void connected();
  void failed(const BrokerEvent& event, Clock::time_point now);
  void lost(const BrokerEvent& event, Clock::time_point now);
  // The next attempt at once (a session the node left on purpose).
  void retryAt(Clock::time_point when) { next_ = when; }
  Clock::time_point next() const { return next_; }

 private:
  void log(const std::string& text) const;

  const EngineContext& ctx_;
  ReconnectPolicy policy_;
  ReasonLog reasons_;
  Clock::time_point next_{};
};

}  // namespace zentarc::mqtt
