#pragma once
// Tells systemd how the service is doing, through its notify socket: ready once the
// endpoint listens, a status line, watchdog pings, stopping. Without NOTIFY_SOCKET (not
// started by systemd, or Type=simple) every call does nothing.
#include <chrono>
#include <string>
#include <string_view>

namespace zentarc::shell {

class ServiceNotifier {
 public:
  // Whether systemd gave us a notify socket.
  bool enabled() const;
  // READY=1 together with the first status line.
  void ready(std::string_view status);
  void status(std::string_view text);
  void stopping();
  void watchdogPing();
  // The watchdog period systemd asked for (WatchdogSec=); zero when it asked for none or
  // asked another process.
  std::chrono::microseconds watchdogPeriod() const;

 private:
  void send(const std::string& state);
};

// A status line is one line: line breaks would start new notify assignments.
std::string statusAssignment(std::string_view text);

}  // namespace zentarc::shell
