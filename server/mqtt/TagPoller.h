#pragma once
// MQTT's tags as one toolkit group at the MQTT rate, an active item per readable tag: the
// PLC workers poll them in the same cyclic blocks as OPC UA's subscriptions, at the faster
// of the two rates. The poller looks at the tags' caches and reports those whose value or
// status changed. A tag the device refreshes no faster than the MQTT rate is looked at on
// every tick, so a new value goes out as soon as it is read; one that OPC UA has polled
// faster is looked at only once per MQTT rate, so MQTT still reports at its own rate.
#include <chrono>
#include <cstdint>
#include <vector>

#include "server/mqtt/PayloadFormat.h"
#include "server/toolkit/SODaSCreator.h"
#include "server/toolkit/SODaSServer.h"

namespace zentarc::mqtt {

class TagPoller {
 public:
  using Clock = std::chrono::steady_clock;

  TagPoller(const PublishedPlant& plant, std::uint32_t rateMs);
  ~TagPoller();

  // Makes the group and activates an item per readable tag; the PLC workers start polling.
  void start(SOCmnPointer<SODaSCreator> creator);
  // Deactivates and removes them; polling for MQTT stops.
  void stop();

  // The tags whose value or status changed since they were last reported, with their new
  // state, in tag order. A tag that has no value from the device yet is not reported.
  void changes(Clock::time_point now, std::vector<TagState>& out);
  // The current state of one tag, and it counts as reported.
  TagState current(std::size_t tag);

 private:
  const PublishedPlant& plant_;
  const std::uint32_t rateMs_;
  std::vector<std::uint64_t> reported_;  // each tag's cache change count when last reported
  Clock::time_point nextFullPass_{};
  SOCmnPointer<SODaSServer> server_;
};

}  // namespace zentarc::mqtt
