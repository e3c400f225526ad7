#pragma once
// SIGTERM, SIGINT and SIGHUP close the server as its window's close box would, so that
// systemd and Ctrl+C get the orderly shut-down (clients told, PLC connections closed).
#include <functional>

class QSocketNotifier;

namespace zentarc::shell {

class SignalWatcher {
 public:
  // onSignal runs on the thread of the message loop.
  explicit SignalWatcher(std::function<void()> onSignal);
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  std::function<void()> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace zentarc::shell
