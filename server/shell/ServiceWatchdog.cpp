#include "server/shell/ServiceWatchdog.h"

#include <algorithm>

namespace zentarc::shell {

namespace {

std::string seconds(std::chrono::milliseconds ms) { return std::to_string((ms.count() + 500) / 1000) + " s"; }

}  // namespace

ServiceWatchdog::ServiceWatchdog(ServiceNotifier& notifier, const LivenessWatch& watch, ShellLog& log)
    : notifier_(notifier), watch_(watch), log_(log) {
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { check(); });
}

void ServiceWatchdog::start(std::chrono::microseconds period) {
  if (period.count() <= 0) return;
  const auto half = std::chrono::duration_cast<std::chrono::milliseconds>(period / 2);
  timer_.start(std::max<std::chrono::milliseconds>(half, std::chrono::milliseconds(1)));
  check();
}

void ServiceWatchdog::stop() { timer_.stop(); }

bool ServiceWatchdog::check(Heartbeat::Clock::time_point now) {
  const std::vector<LivenessWatch::Silent> silent = watch_.stuck(now);
  std::set<std::string> stuckNow;
  for (const auto& s : silent) {
    stuckNow.insert(s.name);
    if (stuck_.count(s.name)) continue;
    log_.line(LogPriority::Error, "the " + s.name + " has not turned for " + seconds(s.silentFor) +
                                      " (a healthy pass takes at most " + seconds(s.bound) +
                                      "): watchdog pings stop, systemd restarts the service");
    notifier_.status(s.name + " stuck");
  }
  for (const std::string& name : stuck_)
    if (!stuckNow.count(name)) log_.line(LogPriority::Notice, "the " + name + " turns again");
  stuck_ = std::move(stuckNow);
  if (!stuck_.empty()) return false;
  notifier_.watchdogPing();
  return true;
}

}  // namespace zentarc::shell
