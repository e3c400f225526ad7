#pragma once
// Pings systemd's watchdog from the process thread while every watched loop turns. A stuck
// polling or OPC UA thread stops the pings (and so does a stuck process thread, whose
// timer no longer runs); systemd then restarts the service after WatchdogSec.
#include <chrono>
#include <set>
#include <string>

#include <QObject>
#include <QTimer>

#include "server/shell/ServiceNotifier.h"
#include "server/shell/ShellLog.h"
#include "server/toolkit/LivenessWatch.h"

namespace zentarc::shell {

class ServiceWatchdog : public QObject {
 public:
  ServiceWatchdog(ServiceNotifier& notifier, const LivenessWatch& watch, ShellLog& log);

  // Checks every half period, as systemd advises; a zero period starts nothing.
  void start(std::chrono::microseconds period);
  void stop();
  bool running() const { return timer_.isActive(); }

  // One round: pings when no loop is stuck, and logs each loop that became stuck or turns
  // again. True when it pinged.
  bool check(Heartbeat::Clock::time_point now = Heartbeat::Clock::now());

 private:
  ServiceNotifier& notifier_;
  const LivenessWatch& watch_;
  ShellLog& log_;
  QTimer timer_;
  std::set<std::string> stuck_;  // loops reported stuck and not yet turning again
};

}  // namespace zentarc::shell
