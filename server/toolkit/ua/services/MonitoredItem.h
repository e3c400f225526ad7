#pragma once
// A monitored item: what it watches, how it samples, its filter and its queue. It maps onto
// a toolkit item on the watched tag, active while the monitoring mode is Sampling or
// Reporting, so the tag's PLC worker reads it at the item's sampling interval.
#include <memory>
#include <optional>
#include <vector>

#include "server/toolkit/SODaSItem.h"
#include "server/toolkit/ua/ServicesMonitoredItem.h"
#include "server/toolkit/ua/services/AddressSpace.h"

namespace zentarc::ua {

struct SamplingGroup;

class MonitoredItem {
 public:
  MonitoredItem(uint32_t id, const Node& node, const ReadValueId& target, TimestampsToReturn timestamps);

  // Validates a requested filter for this item's node and attribute. An empty filter is
  // StatusValue without deadband.
  StatusCode setFilter(const ExtensionObject& filter);
  void setQueue(uint32_t queueSize, bool discardOldest);

  // Takes a sample when the value may have changed; queues it when the filter says it
  // changed (the first sample always). True when something was queued.
  bool sample();

  // Sampled with what the device stores, once per publishing cycle, rather than on a clock
  // of its own: a tag whose device refreshes it no faster than the sampling interval (the
  // block runs at that interval) would only gain up to one interval of lag from a second
  // clock. Items that keep several values, or that sample a tag the device refreshes
  // faster, keep their clock.
  bool followsDevice() const;

  bool reporting() const { return mode == MonitoringMode::Reporting; }
  bool active() const { return mode != MonitoringMode::Disabled; }
  // Forgets what was sampled so the next sample is reported again (e.g. on re-enabling).
  void resetSampling();

  // The values waiting to be sent, oldest first.
  bool hasQueued() const { return pending_ || !queue_.empty(); }
  // Hands up to `max` of them, oldest first, to fn(const DataValue&) and drops them; returns
  // how many.
  template <typename Fn>
  size_t takeQueued(size_t max, Fn&& fn);
  void clearQueue();

  const String& indexRange() const;

  const uint32_t id;
  const Node& node;  // its NodeId is the one monitored
  const uint32_t attributeId;
  TimestampsToReturn timestamps;
  uint32_t clientHandle = 0;
  MonitoringMode mode = MonitoringMode::Reporting;
  double samplingInterval = 0;  // revised, ms
  bool followsPublishing = false;  // asked for the publishing interval (-1)
  uint32_t queueSize = 1;
  bool discardOldest = true;
  size_t queueBytes = 0;  // what its queue (beyond one value) holds of the shared pool
  DataChangeFilter filter;

  SamplingGroup* group = nullptr;
  SOCmnPointer<SODaSItem> toolkitItem;

 private:
  bool changed(const DataValue& before, const DataValue& now) const;
  // Queues last_.
  void enqueue();

  // A plant subscribes to a hundred thousand items, nearly all with a queue of one: such an
  // item's waiting value is the last one sampled, so it is marked pending rather than kept
  // twice. Longer queues (and one value left by shrinking a queue) use queue_.
  std::vector<DataValue> queue_;
  bool pending_ = false;
  bool sampled_ = false;
  std::unique_ptr<const String> indexRange_;  // null when none (most items)
  SODaSCache* cache_ = nullptr;  // the tag's cache (the tag keeps it), for cheap change checks
  uint64_t lastCount_ = 0;  // the cache's counter at the last sample
  DataValue last_;
};

template <typename Fn>
size_t MonitoredItem::takeQueued(size_t max, Fn&& fn) {
  size_t taken = 0;
  for (; taken < queue_.size() && taken < max; ++taken) fn(static_cast<const DataValue&>(queue_[taken]));
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(taken));
  // An emptied queue gives its storage back.
  if (queue_.empty()) std::vector<DataValue>().swap(queue_);
  if (pending_ && taken < max && queue_.empty()) {
    fn(static_cast<const DataValue&>(last_));
    pending_ = false;
    ++taken;
  }
  return taken;
}

}  // namespace zentarc::ua
