#pragma once
// One connection to the broker through Paho's asynchronous client: MQTT 3.1.1, a persistent
// session under a stable client id (QoS 1 messages in flight are sent again after a
// reconnection) unless a clean one is asked for, the will, TLS and a user. Calls return at
// once; what the library reports on its own threads becomes events that the owner takes on
// its thread, woken by `wake`.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "server/mqtt/MqttOptions.h"
#include "server/mqtt/PayloadFormat.h"

namespace zentarc::mqtt {

struct BrokerSettings {
  std::string uri;  // Paho's tcp:// or ssl:// form
  bool tls = false;
  std::string caFile, certFile, keyFile;
  std::string user, password;
  std::string clientId;
  Outgoing will;
  bool cleanSession = false;
  int keepAliveSeconds = 10;  // a server that vanishes shows offline within 1.5 times this
  int maxInFlight = 128;
  // Messages of this topic keep their (small) payload when too many messages wait: a flood
  // on other topics must not hide what it says (a primary host's state).
  std::string keepWholeTopic;
};

// The broker, TLS and user as the options give them; client id, will and session are the
// format's to set.
BrokerSettings brokerSettings(const MqttOptions& options, const BrokerAddress& address);

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

class BrokerConnection {
 public:
  BrokerConnection(BrokerSettings settings, std::function<void()> wake);
  ~BrokerConnection();
  BrokerConnection(const BrokerConnection&) = delete;
  BrokerConnection& operator=(const BrokerConnection&) = delete;

  // Makes the client; false with a reason when the library refuses the settings.
  bool create(std::string& error);
  // Starts a connection attempt; its outcome comes as Connected or ConnectFailed.
  void connect();
  // The will of the next connection attempt (a Sparkplug death names its session).
  void setWill(Outgoing will) { settings_.will = std::move(will); }
  // Hands a message to the library at its QoS; true with its token, false while not
  // connected (or when the library has no room).
  bool publish(const Outgoing& message, int& token);
  void subscribe(const std::string& filter, int qos);
  void unsubscribe(const std::string& filter);
  // An orderly goodbye: the library gets up to timeoutMs to finish what is in flight.
  void disconnect(int timeoutMs);

  std::vector<BrokerEvent> takeEvents();
  // Acknowledgements wake the owner only while it waits for room to send, and then in
  // batches: at ten thousand messages a second, a wake-up each would cost more than the rest.
  void wakeOnDeliveries(bool wanted) { wakeOnDeliveries_.store(wanted, std::memory_order_relaxed); }
  static constexpr std::size_t kDeliveryBatch = 32;

  // Incoming messages waiting to be taken, at most; beyond, only their topics are kept (up
  // to twice the bytes), so a flood of writes cannot take the server's memory.
  static constexpr std::size_t kMaxWaitingMessages = 1000;
  static constexpr std::size_t kMaxWaitingBytes = 8 * 1024 * 1024;
  static constexpr std::size_t kKeepWholeBytes = 4096;

 private:
  struct Callbacks;
  void post(BrokerEvent event);

  BrokerSettings settings_;
  const std::function<void()> wake_;
  void* client_ = nullptr;  // MQTTAsync
  std::mutex mutex_;
  std::vector<BrokerEvent> events_;
  std::atomic<bool> wakeOnDeliveries_{false};
  std::size_t waitingDeliveries_ = 0;
  std::size_t waitingMessages_ = 0;
  std::size_t waitingBytes_ = 0;
  std::string tlsError_;  // what OpenSSL said during the last handshake (library threads)
};

}  // namespace zentarc::mqtt
