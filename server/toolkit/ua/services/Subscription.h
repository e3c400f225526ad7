#pragma once
// A subscription: its publishing parameters and counters, its monitored items grouped by
// sampling interval (each group a toolkit group with that update rate), and the messages
// sent but not yet acknowledged.
#include <chrono>
#include <deque>
#include <map>
#include <memory>

#include "server/toolkit/SODaSGroup.h"
#include "server/toolkit/ua/ServicesSubscription.h"
#include "server/toolkit/ua/services/MonitoredItem.h"

namespace zentarc::ua {

using SteadyTime = std::chrono::steady_clock::time_point;

struct SessionState;

struct SamplingGroup {
  double interval = 0;
  bool followsPublishing = false;
  SteadyTime nextDue{};
  std::vector<MonitoredItem*> items;
  SOCmnPointer<SODaSGroup> toolkitGroup;
};

class Subscription {
 public:
  Subscription(uint32_t id, std::shared_ptr<SessionState> session) : id(id), session(std::move(session)) {}

  // Samples the items of every group that is due, except those that follow the device; with
  // `publishing` (just before a publishing cycle) also every item that follows the device.
  // Returns true when any item queued a value.
  bool sample(SteadyTime now, bool publishing);
  // Reporting items hold queued values.
  bool hasNotifications() const;
  // The next message: up to maxNotificationsPerPublish values; `more` when some remain.
  NotificationMessage takeNotifications(bool& more);
  // A keep-alive carries the next sequence number without using it.
  NotificationMessage keepAlive() const;
  // Keeps a sent message for Republish (it takes `bytes`); returns the bytes of older ones
  // forgotten to stay within `limit` messages.
  size_t remember(const NotificationMessage& message, size_t bytes, uint32_t limit);
  // Forgets the oldest kept message; returns its bytes (0: none was kept).
  size_t forgetOldest();
  // Forgets every kept message; returns their bytes.
  size_t forgetAll();
  size_t keptBytes() const { return keptBytes_; }
  std::vector<uint32_t> availableSequenceNumbers() const;
  // Forgets an acknowledged message; false when none has that number. `freed` gets its bytes.
  bool acknowledge(uint32_t sequenceNumber, size_t& freed);
  const NotificationMessage* findMessage(uint32_t sequenceNumber) const;
  // What a message kept for Republish takes.
  static size_t messageBytes(const NotificationMessage& message);

  const uint32_t id;
  const std::shared_ptr<SessionState> session;
  double publishingInterval = 1000;
  uint32_t lifetimeCount = 0;
  uint32_t maxKeepAliveCount = 0;
  uint32_t maxNotificationsPerPublish = 0;
  uint8_t priority = 0;
  bool publishingEnabled = true;

  SteadyTime nextPublish{};
  uint32_t keepAliveCounter = 0;
  uint32_t lifetimeCounter = 0;
  bool late = false;          // wanted to send but no Publish request was there
  bool messageSent = false;   // the first cycle sends a keep-alive at once
  uint32_t nextSequenceNumber = 1;

  std::map<uint32_t, std::unique_ptr<MonitoredItem>> items;
  uint32_t nextItemId = 1;
  std::map<std::pair<double, bool>, std::unique_ptr<SamplingGroup>> groups;

 private:
  uint32_t useSequenceNumber();
  struct Kept {
    NotificationMessage message;
    size_t bytes;
  };
  std::deque<Kept> sent_;
  size_t keptBytes_ = 0;
};

}  // namespace zentarc::ua
