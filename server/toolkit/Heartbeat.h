#pragma once
// A serving loop's sign of life: the loop beats once per pass, and a watcher on another
// thread judges from the time of the last beat whether the loop still turns. Beating is
// one relaxed atomic store, cheap enough for every pass of a busy loop.
#include <atomic>
#include <chrono>

namespace zentarc {

class Heartbeat {
 public:
  using Clock = std::chrono::steady_clock;

  // A loop that has not begun yet counts from the heartbeat's creation.
  Heartbeat() noexcept { beat(); }
  Heartbeat(const Heartbeat&) = delete;
  Heartbeat& operator=(const Heartbeat&) = delete;

  void beat() noexcept { last_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed); }
  Clock::time_point lastBeat() const noexcept {
    return Clock::time_point(Clock::duration(last_.load(std::memory_order_relaxed)));
  }

 private:
  std::atomic<Clock::rep> last_{0};
};

}  // namespace zentarc
