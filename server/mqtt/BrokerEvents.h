#pragma once
// What happens at the broker's connection, as events that the network thread posts and the
// owner's thread takes. Incoming messages are bounded, so that a flood of them cannot take
// the server's memory; acknowledgements wake the owner only in batches.
#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zentarc::mqtt {

struct BrokerEvent {
  enum class Kind { Connected, ConnectFailed, ConnectionLost, Delivered, DeliveryFailed, Message, Disconnected };
  Kind kind = Kind::Connected;
  int token = 0;        // Delivered, DeliveryFailed
  std::string reason;   // ConnectFailed, ConnectionLost: in words
  bool refused = false; // ConnectFailed: the broker refused us (credentials, certificate)
  std::string topic, payload;  // Message
  bool retained = false;       // Message: a retained one, delivered because we subscribed
  bool overflow = false;       // Message: too many were waiting; the payload was not kept
};

class BrokerEventQueue {
 public:
  // Messages of `keepWholeTopic` keep their (small) payload when too many messages wait: a
  // flood on other topics must not hide what it says (a primary host's state).
  BrokerEventQueue(std::string keepWholeTopic, std::function<void()> wake)
      : keepWholeTopic_(std::move(keepWholeTopic)), wake_(std::move(wake)) {}

  void post(BrokerEvent event);
  std::vector<BrokerEvent> take();

  // Acknowledgements wake the owner only while it waits for room to send, and then in
  // batches: at ten thousand messages a second, a wake-up each would cost more than the rest.
  void wakeOnDeliveries(bool wanted) { wakeOnDeliveries_.store(wanted, std::memory_order_relaxed); }
  static constexpr std::size_t kDeliveryBatch = 32;

  // Incoming messages waiting to be taken, at most; beyond, only their topics are kept (up
  // to twice the bytes).
  static constexpr std::size_t kMaxWaitingMessages = 1000;
  static constexpr std::size_t kMaxWaitingBytes = 8 * 1024 * 1024;
  static constexpr std::size_t kKeepWholeBytes = 4096;

 private:
  const std::string keepWholeTopic_;
  const std::function<void()> wake_;
  std::mutex mutex_;
  std::vector<BrokerEvent> events_;
  std::atomic<bool> wakeOnDeliveries_{false};
  std::size_t waitingDeliveries_ = 0;
  std::size_t waitingMessages_ = 0;
  std::size_t waitingBytes_ = 0;
};

}  // namespace zentarc::mqtt
