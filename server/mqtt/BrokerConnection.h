#pragma once
// One connection to the broker through libmosquitto: MQTT 3.1.1, a persistent session under
// a stable client id (QoS 1 messages in flight are sent again after a reconnection) unless a
// clean one is asked for, the will, TLS and a user. The socket is served by a thread of our
// own on poll(), so it works whatever the descriptor's number (the library's own loop uses
// select()). Calls return at once; what happens on that thread becomes events that the owner
// takes on its thread, woken by `wake`.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "server/mqtt/BrokerEvents.h"
#include "server/mqtt/MqttOptions.h"
#include "server/mqtt/PayloadFormat.h"

struct mosquitto;  // libmosquitto's client

namespace zentarc::mqtt {

struct BrokerSettings {
  std::string host;  // as a socket takes it (no brackets around an IPv6 address)
  int port = 1883;
  bool tls = false;
  std::string caFile, certFile, keyFile;
  std::string user, password;
  std::string clientId;
  Outgoing will;
  bool cleanSession = false;
  // A server that vanishes shows offline within 1.5 times this; a broker that accepted the
  // socket but does not answer is given up after it.
  int keepAliveSeconds = 10;
  // What the library may hold unwritten or unacknowledged, at most: a broker that reads
  // slowly fails publishing past it, rather than growing the queue without end.
  std::size_t maxUnsentBytes = 64 * 1024 * 1024;
  static constexpr std::size_t kMaxUnsentMessages = 10000;
  // Messages of this topic keep their (small) payload when too many messages wait: a flood
  // on other topics must not hide what it says (a primary host's state).
  std::string keepWholeTopic;
};

// The broker, TLS and user as the options give them; client id, will and session are the
// format's to set.
BrokerSettings brokerSettings(const MqttOptions& options, const BrokerAddress& address);

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
  // The will of the next connection attempt (a Sparkplug death names its session); the
  // owner's thread only, like connect().
  void setWill(Outgoing will) { settings_.will = std::move(will); }
  // Hands a message to the library at its QoS; true with its token, false while not
  // connected. The owner bounds what is in flight.
  bool publish(const Outgoing& message, int& token);
  void subscribe(const std::string& filter, int qos);
  void unsubscribe(const std::string& filter);
  // An orderly goodbye: what is queued gets up to timeoutMs to be written and acknowledged
  // first; then Disconnected.
  void disconnect(int timeoutMs);

  std::vector<BrokerEvent> takeEvents() { return events_.take(); }
  void wakeOnDeliveries(bool wanted) { events_.wakeOnDeliveries(wanted); }

 private:
  struct Callbacks;
  using Clock = std::chrono::steady_clock;
  enum class Phase { Idle, Connecting, Connected, Leaving };

  void wakeNetwork();
  // The network thread and what it does; the library is driven from there only.
  void run();
  void takeRequests(Clock::time_point now);
  bool configure(std::string& error);
  void startConnecting(const Outgoing& will, Clock::time_point now);
  void serveSocket(short revents);
  bool allAcknowledged();
  void closed(int rc);
  std::string failureReason(int rc);

  BrokerSettings settings_;
  ::mosquitto* client_ = nullptr;
  int wakeFd_ = -1;  // an eventfd: requests and new messages for the network thread
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> active_{false};         // connected: publishing makes sense
  std::atomic<bool> writePending_{false};   // messages queued since the thread last wrote

  BrokerEventQueue events_;
  std::mutex mutex_;  // the requests
  bool connectAsked_ = false;
  Outgoing askedWill_;  // the will as it was when the connection was asked for
  bool disconnectAsked_ = false;
  int disconnectTimeoutMs_ = 0;

  // Messages handed to the library and not yet written (QoS 0) or acknowledged (QoS 1).
  std::mutex unackedMutex_;
  struct Unsent {
    std::size_t bytes = 0;
    int qos = 0;
  };
  std::unordered_map<int, Unsent> unacked_;  // by mid
  std::size_t unackedBytes_ = 0;
  std::unordered_set<int> earlyAcks_;

  // The network thread's own.
  Phase phase_ = Phase::Idle;
  bool announce_ = false;  // connected; Connected still to be posted
  bool used_ = false;  // a connection was tried: a clean session starts afresh
  bool goodbyeSent_ = false;
  Clock::time_point leaveBy_{};
  std::string tlsError_;  // what OpenSSL said during the handshake
};

}  // namespace zentarc::mqtt
