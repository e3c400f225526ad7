#include "server/shell/ServiceNotifier.h"

#include <cstdlib>

#include <systemd/sd-daemon.h>

namespace zentarc::shell {

std::string statusAssignment(std::string_view text) {
  std::string out = "STATUS=";
  for (char c : text) out += (c == '\n' || c == '\r') ? ' ' : c;
  return out;
}

bool ServiceNotifier::enabled() const {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  return socket && *socket;
}

void ServiceNotifier::send(const std::string& state) {
  if (!enabled()) return;
  // A lost notification is not worth stopping the server for; systemd times the start
  // out or restarts us by the watchdog if it keeps missing them.
  (void)sd_notify(0, state.c_str());
}

void ServiceNotifier::ready(std::string_view status) { send("READY=1\n" + statusAssignment(status)); }

void ServiceNotifier::status(std::string_view text) { send(statusAssignment(text)); }

void ServiceNotifier::stopping() { send("STOPPING=1\n" + statusAssignment("shutting down")); }

void ServiceNotifier::watchdogPing() { send("WATCHDOG=1"); }

std::chrono::microseconds ServiceNotifier::watchdogPeriod() const {
  uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0) return std::chrono::microseconds(0);
  return std::chrono::microseconds(usec);
}

}  // namespace zentarc::shell
