#pragma once
// A monitored item: what it watches, how it samples, its filter and its queue. It maps onto
// a toolkit item on the watched tag, active while the monitoring mode is Sampling or
// Reporting, so the tag's PLC worker reads it at the item's sampling interval.
#include <optional>

#include "server/toolkit/SODaSItem.h"
#include "server/toolkit/ua/ServicesMonitoredItem.h"
#include "server/toolkit/ua/services/AddressSpace.h"

namespace zentarc::ua {

struct SamplingGroup;

class MonitoredItem {
 public:
  MonitoredItem(uint32_t id, const Node& node, ReadValueId target, TimestampsToReturn timestamps);

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

  const uint32_t id;
  const Node& node;
  const ReadValueId target;
  TimestampsToReturn timestamps;
  uint32_t clientHandle = 0;
  MonitoringMode mode = MonitoringMode::Reporting;
  double samplingInterval = 0;  // revised, ms
  bool followsPublishing = false;  // asked for the publishing interval (-1)
  uint32_t queueSize = 1;
  bool discardOldest = true;
  DataChangeFilter filter;

  // Oldest first. A vector: most items keep one value, and a deque's first block alone
  // would cost more than the item itself.
  std::vector<DataValue> queue;
  SamplingGroup* group = nullptr;
  SOCmnPointer<SODaSItem> toolkitItem;

 private:
  bool changed(const DataValue& before, const DataValue& now) const;
  void enqueue(DataValue value);

  SODaSCache* cache_ = nullptr;  // the tag's cache (the tag keeps it), for cheap change checks
  uint64_t lastUpdateCount_ = 0;
  bool sampled_ = false;
  DataValue last_;
};

}  // namespace zentarc::ua
