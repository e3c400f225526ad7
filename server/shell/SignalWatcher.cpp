#include "server/shell/SignalWatcher.h"

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace zentarc::shell {

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signal) {
  const char c = static_cast<char>(signal);
  // Only async-signal-safe work here: wake the loop through the pipe, with the signal.
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

}  // namespace

SignalWatcher::SignalWatcher(std::function<void()> onStop, std::function<void()> onHangUp)
    : onStop_(std::move(onStop)), onHangUp_(std::move(onHangUp)) {
  if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_, &QSocketNotifier::activated, [this] {
    char buf[16];
    bool stop = false, hangUp = false;
    for (ssize_t n; (n = ::read(signalPipe[0], buf, sizeof buf)) > 0;)
      for (ssize_t i = 0; i < n; ++i) (buf[i] == SIGHUP ? hangUp : stop) = true;
    if (hangUp && onHangUp_) onHangUp_();
    if (stop && onStop_) onStop_();
  });
  struct sigaction sa {};
  sa.sa_handler = onTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &sa, nullptr);
}

SignalWatcher::~SignalWatcher() {
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &sa, nullptr);
  delete notifier_;
}

}  // namespace zentarc::shell
