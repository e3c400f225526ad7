#pragma once
// Store and forward: the changes of each device's metrics while no host can take them (the
// broker away, or the primary host offline), kept in order within a byte budget shared by all
// devices. When a new one does not fit, the oldest of all are dropped and counted. After the
// births they go out with is_historical set, oldest first, device by device as each is born.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "server/mqtt/sparkplug/Payload.h"

namespace zentarc::mqtt::sparkplug {

class HistoryStore {
 public:
  HistoryStore(std::size_t devices, std::size_t limitBytes);

  // A change of one of the device's metrics (alias set, value and timestamp as it was then).
  void add(std::size_t device, Metric metric);
  // Up to `max` of the device's oldest changes, taken out, marked historical.
  std::vector<Metric> take(std::size_t device, std::size_t max);

  bool empty(std::size_t device) const { return devices_[device].empty(); }
  std::size_t count() const { return count_; }
  std::size_t bytes() const { return bytes_; }
  std::uint64_t dropped() const { return dropped_; }

  // What a metric is reckoned to take, value and bookkeeping together.
  static std::size_t costOf(const Metric& metric);

 private:
  struct Entry {
    std::uint64_t order;
    std::size_t bytes;
    Metric metric;
  };
  void dropOldest();

  std::vector<std::deque<Entry>> devices_;
  const std::size_t limit_;
  std::size_t bytes_ = 0;
  std::size_t count_ = 0;
  std::uint64_t nextOrder_ = 0;
  std::uint64_t dropped_ = 0;
};

}  // namespace zentarc::mqtt::sparkplug
