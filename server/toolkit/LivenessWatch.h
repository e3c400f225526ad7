#pragma once
// Judges whether the server's loops still turn: each watched loop has a heartbeat and a
// bound, the longest a healthy pass of that loop may take. A loop silent for longer than
// its bound is stuck (a dead lock, an endless loop, a wait that never ends).
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "server/toolkit/Heartbeat.h"

namespace zentarc {

class LivenessWatch {
 public:
  struct Silent {
    std::string name;
    std::chrono::milliseconds silentFor;
    std::chrono::milliseconds bound;
  };

  // The heartbeat must outlive the watch, or be forgotten first.
  void watch(std::string name, const Heartbeat& heartbeat, std::chrono::milliseconds bound);
  void forget(const Heartbeat& heartbeat);
  void forgetAll();

  // The watched loops silent for longer than their bound at `now`, in watching order.
  std::vector<Silent> stuck(Heartbeat::Clock::time_point now = Heartbeat::Clock::now()) const;
  std::size_t size() const;

 private:
  struct Entry {
    std::string name;
    const Heartbeat* heartbeat;
    std::chrono::milliseconds bound;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace zentarc
