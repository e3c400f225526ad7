#include "server/toolkit/ua/services/Subscription.h"

#include "server/toolkit/ua/Binary.h"

namespace zentarc::ua {

bool Subscription::sampleDue(SteadyTime now) {
  bool any = false;
  for (auto& [key, group] : groups) {
    if (now < group->nextDue) continue;
    for (MonitoredItem* item : group->items)
      if (!item->followsDevice()) any |= item->sample();
    const auto period = std::chrono::duration_cast<SteadyTime::duration>(
        std::chrono::duration<double, std::milli>(group->interval));
    group->nextDue += period;
    // After a stall, sample on the next tick instead of catching up on every missed one.
    if (group->nextDue <= now) group->nextDue = now + period;
  }
  return any;
}

// Both walk the groups' item lists (every item is in one group) rather than the map of
// items: with tens of thousands of items, once per publishing cycle, that is cheaper.
bool Subscription::sampleDeviceFollowers() {
  bool any = false;
  for (auto& [key, group] : groups)
    for (MonitoredItem* item : group->items)
      if (item->followsDevice()) any |= item->sample();
  return any;
}

bool Subscription::hasNotifications() const {
  for (const auto& [key, group] : groups)
    for (const MonitoredItem* item : group->items)
      if (item->reporting() && !item->queue.empty()) return true;
  return false;
}

uint32_t Subscription::useSequenceNumber() {
  const uint32_t n = nextSequenceNumber;
  nextSequenceNumber = nextSequenceNumber == 0xFFFFFFFFu ? 1 : nextSequenceNumber + 1;
  return n;
}

NotificationMessage Subscription::takeNotifications(bool& more) {
  DataChangeNotification dcn;
  const size_t limit = maxNotificationsPerPublish ? maxNotificationsPerPublish : SIZE_MAX;
  more = false;
  for (auto& [id, item] : items) {
    if (!item->reporting()) continue;
    size_t taken = 0;
    for (; taken < item->queue.size(); ++taken) {
      if (dcn.monitoredItems.size() >= limit) {
        more = true;
        break;
      }
      dcn.monitoredItems.push_back({item->clientHandle, std::move(item->queue[taken])});
    }
    item->queue.erase(item->queue.begin(), item->queue.begin() + taken);
    // An emptied queue gives its storage back: with 100,000 items whose values seldom
    // change, a slot kept per item would be tens of megabytes held for nothing.
    if (item->queue.empty()) std::vector<DataValue>().swap(item->queue);
    if (more) break;
  }
  NotificationMessage m;
  m.sequenceNumber = useSequenceNumber();
  m.publishTime = DateTime::now();
  m.notificationData.push_back(toExtensionObject(dcn));
  return m;
}

NotificationMessage Subscription::keepAlive() const {
  NotificationMessage m;
  m.sequenceNumber = nextSequenceNumber;
  m.publishTime = DateTime::now();
  return m;
}

void Subscription::remember(const NotificationMessage& message, uint32_t limit) {
  sent_.push_back(message);
  while (sent_.size() > limit) sent_.pop_front();
}

std::vector<uint32_t> Subscription::availableSequenceNumbers() const {
  std::vector<uint32_t> out;
  out.reserve(sent_.size());
  for (const auto& m : sent_) out.push_back(m.sequenceNumber);
  return out;
}

bool Subscription::acknowledge(uint32_t sequenceNumber) {
  for (auto it = sent_.begin(); it != sent_.end(); ++it)
    if (it->sequenceNumber == sequenceNumber) {
      sent_.erase(it);
      return true;
    }
  return false;
}

const NotificationMessage* Subscription::findMessage(uint32_t sequenceNumber) const {
  for (const auto& m : sent_)
    if (m.sequenceNumber == sequenceNumber) return &m;
  return nullptr;
}

}  // namespace zentarc::ua
