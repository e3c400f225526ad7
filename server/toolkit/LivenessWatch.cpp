#include "server/toolkit/LivenessWatch.h"

#include <algorithm>

namespace zentarc {

void LivenessWatch::watch(std::string name, const Heartbeat& heartbeat, std::chrono::milliseconds bound) {
  std::lock_guard g(mutex_);
  entries_.push_back({std::move(name), &heartbeat, bound});
}

void LivenessWatch::forget(const Heartbeat& heartbeat) {
  std::lock_guard g(mutex_);
  std::erase_if(entries_, [&](const Entry& e) { return e.heartbeat == &heartbeat; });
}

void LivenessWatch::forgetAll() {
  std::lock_guard g(mutex_);
  entries_.clear();
}

std::vector<LivenessWatch::Silent> LivenessWatch::stuck(Heartbeat::Clock::time_point now) const {
  std::vector<Silent> out;
  std::lock_guard g(mutex_);
  for (const Entry& e : entries_) {
    // A beat after `now` (the caller's clock read earlier) is simply fresh.
    const auto silent = std::max(Heartbeat::Clock::duration::zero(), now - e.heartbeat->lastBeat());
    const auto silentMs = std::chrono::duration_cast<std::chrono::milliseconds>(silent);
    if (silentMs > e.bound) out.push_back({e.name, silentMs, e.bound});
  }
  return out;
}

std::size_t LivenessWatch::size() const {
  std::lock_guard g(mutex_);
  return entries_.size();
}

}  // namespace zentarc
