#include "server/toolkit/ua/services/Subscription.h"

#include <cstring>

#include "server/toolkit/ua/Binary.h"

namespace zentarc::ua {

// One walk over the groups' item lists (every item is in one group) rather than the map of
// items, and one per tick even when publishing is due: with tens of thousands of items, each
// touched once, that is what the cycle costs.
bool Subscription::sample(SteadyTime now, bool publishing) {
  bool any = false;
  for (auto& [key, group] : groups) {
    const bool due = now >= group->nextDue;
    if (!due && !publishing) continue;
    for (MonitoredItem* item : group->items) {
      // Items that follow the device are sampled just before publishing, so that a value the
      // device stored reaches the next notification; the others on their group's clock.
      if (item->followsDevice() ? publishing : due) any |= item->sample();
    }
    if (!due) continue;
    const auto period = std::chrono::duration_cast<SteadyTime::duration>(
        std::chrono::duration<double, std::milli>(group->interval));
    group->nextDue += period;
    // After a stall, sample on the next tick instead of catching up on every missed one.
    if (group->nextDue <= now) group->nextDue = now + period;
  }
  return any;
}

bool Subscription::hasNotifications() const {
  for (const auto& [key, group] : groups)
    for (const MonitoredItem* item : group->items)
      if (item->reporting() && item->hasQueued()) return true;
  return false;
}

uint32_t Subscription::useSequenceNumber() {
  const uint32_t n = nextSequenceNumber;
  nextSequenceNumber = nextSequenceNumber == 0xFFFFFFFFu ? 1 : nextSequenceNumber + 1;
  return n;
}

NotificationMessage Subscription::takeNotifications(bool& more) {
  const size_t limit = maxNotificationsPerPublish ? maxNotificationsPerPublish : SIZE_MAX;
  more = false;
  // The DataChangeNotification is encoded as the values are taken: with tens of thousands of
  // changes, a decoded list of them would be megabytes held only to be encoded once.
  ExtensionObject eo;
  eo.typeId = NodeId(0, DataChangeNotification::kEncodingId);
  eo.encoding = 1;
  Encoder e(eo.body);
  e.write(int32_t{0});  // the count, filled in below
  size_t count = 0;
  for (auto& [key, group] : groups) {
    for (MonitoredItem* item : group->items) {
      if (!item->reporting() || !item->hasQueued()) continue;
      if (count >= limit) {
        more = true;
        break;
      }
      const uint32_t handle = item->clientHandle;
      count += item->takeQueued(limit - count, [&](const DataValue& value) {
        e.write(handle);
        e.write(value);
      });
      if (item->hasQueued()) {
        more = true;
        break;
      }
    }
    if (more) break;
  }
  e.write(int32_t{0});  // no diagnostic infos
  const auto n = static_cast<int32_t>(count);
  std::memcpy(eo.body.data(), &n, sizeof n);
  NotificationMessage m;
  m.sequenceNumber = useSequenceNumber();
  m.publishTime = DateTime::now();
  m.notificationData.push_back(std::move(eo));
  return m;
}

NotificationMessage Subscription::keepAlive() const {
  NotificationMessage m;
  m.sequenceNumber = nextSequenceNumber;
  m.publishTime = DateTime::now();
  return m;
}

size_t Subscription::messageBytes(const NotificationMessage& message) {
  size_t bytes = sizeof(Kept);
  for (const ExtensionObject& eo : message.notificationData) bytes += sizeof(ExtensionObject) + eo.body.capacity();
  return bytes;
}

size_t Subscription::remember(const NotificationMessage& message, size_t bytes, uint32_t limit) {
  sent_.push_back(Kept{message, bytes});
  keptBytes_ += bytes;
  size_t freed = 0;
  while (sent_.size() > limit) freed += forgetOldest();
  return freed;
}

size_t Subscription::forgetOldest() {
  if (sent_.empty()) return 0;
  const size_t bytes = sent_.front().bytes;
  sent_.pop_front();
  keptBytes_ -= bytes;
  return bytes;
}

size_t Subscription::forgetAll() {
  const size_t bytes = keptBytes_;
  sent_.clear();
  keptBytes_ = 0;
  return bytes;
}

std::vector<uint32_t> Subscription::availableSequenceNumbers() const {
  std::vector<uint32_t> out;
  out.reserve(sent_.size());
  for (const auto& k : sent_) out.push_back(k.message.sequenceNumber);
  return out;
}

bool Subscription::acknowledge(uint32_t sequenceNumber, size_t& freed) {
  freed = 0;
  for (auto it = sent_.begin(); it != sent_.end(); ++it)
    if (it->message.sequenceNumber == sequenceNumber) {
      freed = it->bytes;
      keptBytes_ -= freed;
      sent_.erase(it);
      return true;
    }
  return false;
}

const NotificationMessage* Subscription::findMessage(uint32_t sequenceNumber) const {
  for (const auto& k : sent_)
    if (k.message.sequenceNumber == sequenceNumber) return &k.message;
  return nullptr;
}

}  // namespace zentarc::ua
