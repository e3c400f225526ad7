#include "server/mqtt/BrokerEvents.h"

namespace zentarc::mqtt {

void BrokerEventQueue::post(BrokerEvent event) {
  bool wake = true;
  {
    std::lock_guard g(mutex_);
    if (event.kind == BrokerEvent::Kind::Delivered) {
      ++waitingDeliveries_;
      wake = wakeOnDeliveries_.load(std::memory_order_relaxed) && waitingDeliveries_ % kDeliveryBatch == 0;
    }
    if (event.kind == BrokerEvent::Kind::Message) {
      const std::size_t bytes = event.topic.size() + event.payload.size();
      const bool full = waitingMessages_ >= kMaxWaitingMessages || waitingBytes_ + bytes > kMaxWaitingBytes;
      const bool keepWhole = !keepWholeTopic_.empty() && event.topic == keepWholeTopic_ &&
                             event.payload.size() <= kKeepWholeBytes;
      if (full) {
        if (waitingBytes_ + event.topic.size() > 2 * kMaxWaitingBytes) return;
        if (!keepWhole) {
          std::string().swap(event.payload);
          event.overflow = true;
        }
      }
      ++waitingMessages_;
      waitingBytes_ += event.topic.size() + event.payload.size();
    }
    events_.push_back(std::move(event));
  }
  if (wake) wake_();
}

std::vector<BrokerEvent> BrokerEventQueue::take() {
  std::vector<BrokerEvent> out;
  std::lock_guard g(mutex_);
  out.swap(events_);
  waitingMessages_ = 0;
  waitingBytes_ = 0;
  waitingDeliveries_ = 0;
  return out;
}

}  // namespace zentarc::mqtt
