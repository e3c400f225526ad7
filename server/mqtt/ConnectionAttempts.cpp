#include "server/mqtt/ConnectionAttempts.h"

namespace zentarc::mqtt {

void ConnectionAttempts::connected() {
  policy_.connected();
  reasons_.reset();
  ctx_.figures.setLastError({});
}

void ConnectionAttempts::failed(const BrokerEvent& e, Clock::time_point now) {
  next_ = now + policy_.failed(e.refused);
  // Logged before it shows in the figures: whoever sees the figures finds the log line.
  if (reasons_.changed(e.reason))
    log("MQTT: " + ctx_.options.url + ": " + e.reason + "; trying again every " + (e.refused ? "30 s" : "1 to 30 s") +
        " (logged again when the reason changes)");
  ctx_.figures.setLastError(e.reason);
}

void ConnectionAttempts::lost(const BrokerEvent& e, Clock::time_point now) {
  next_ = now + policy_.failed(false);
  ctx_.figures.setLastError(e.reason);
  reasons_.reset();
  log("MQTT: disconnected from " + ctx_.options.url + ": " + e.reason);
}

void ConnectionAttempts::log(const std::string& text) const {
  if (ctx_.log) ctx_.log(LogLevel::Warning, text);
}

}  // namespace zentarc::mqtt
