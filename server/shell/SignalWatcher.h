#pragma once
// SIGTERM and SIGINT close the server as its window's close box would, so that systemd and
// Ctrl+C get the orderly shut-down (clients told, PLC connections closed). SIGHUP, which
// daemons take as "read your configuration again", does not stop the server: stopping on
// it would end the service with success, and systemd would not start it again.
#include <functional>

class QSocketNotifier;

namespace zentarc::shell {

class SignalWatcher {
 public:
  // Both run on the thread of the message loop.
  SignalWatcher(std::function<void()> onStop, std::function<void()> onHangUp);
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  std::function<void()> onStop_;
  std::function<void()> onHangUp_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace zentarc::shell
