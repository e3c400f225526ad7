#include "server/mqtt/BrokerConnection.h"

#include <mosquitto.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace zentarc::mqtt {

namespace {

// A broker that took the socket but has not answered CONNECT by then is given up.
constexpr std::chrono::seconds kConnectTimeout{10};
// How long the thread sleeps with nothing to do; keep-alive and time-outs are looked at then.
constexpr int kIdlePollMs = 250;
constexpr int kLeavingPollMs = 20;
// Where OpenSSL keeps the system's trusted authorities, when no CA file is given.
constexpr const char* kSystemCaPath = "/etc/ssl/certs";
// Acknowledgements of messages not (yet) noted, at most: only a race puts any there.
constexpr std::size_t kMaxEarlyAcks = 4096;

// MQTT 3.1.1 CONNACK return codes.
std::string connackText(int code) {
  switch (code) {
    case 1: return "the broker refused the connection: unacceptable protocol version";
    case 2: return "the broker refused the connection: client identifier rejected";
    case 3: return "the broker refused the connection: server unavailable";
    case 4: return "the broker refused the connection: bad user name or password";
    case 5: return "the broker refused the connection: not authorized";
    default: return "the broker refused the connection (code " + std::to_string(code) + ")";
  }
}

void initialiseOnce() {
  static const bool done = [] {
    mosquitto_lib_init();
    return true;
  }();
  (void)done;
}

BrokerEvent event(BrokerEvent::Kind kind, int token = 0) {
  BrokerEvent e;
  e.kind = kind;
  e.token = token;
  return e;
}

// OpenSSL's line "...error:0A000086:SSL routines::certificate verify failed" (the function
// field is empty from OpenSSL 3 on): the reason is the text after the library's name.
std::string tlsReason(const std::string& lines) {
  std::string text = lines.substr(0, lines.find('\n'));
  const auto sslRoutines = text.find("SSL routines:");
  if (sslRoutines != std::string::npos) {
    text = text.substr(sslRoutines + 13);
    const auto fn = text.find(':');
    if (fn != std::string::npos) text = text.substr(fn + 1);
    const auto src = text.find(':');
    if (src != std::string::npos) text = text.substr(0, src);
  }
  return "TLS handshake failed: " + text;
}

}  // namespace

// The library's C callbacks, all run on the network thread (inside its read and write calls).
struct BrokerConnection::Callbacks {
  static BrokerConnection& self(void* context) { return *static_cast<BrokerConnection*>(context); }

  static void connected(struct mosquitto*, void* context, int rc) {
    BrokerConnection& c = self(context);
    if (c.phase_ != Phase::Connecting) return;  // an attempt already given up
    if (rc == 0) {
      // Announced once the library has queued what it sends again of the session: a newer
      // retained value published before those would lose to the older one.
      c.phase_ = Phase::Connected;
      c.announce_ = true;
      return;
    }
    c.phase_ = Phase::Idle;
    BrokerEvent e = event(BrokerEvent::Kind::ConnectFailed);
    e.reason = connackText(rc);
    e.refused = rc == 4 || rc == 5;
    c.events_.post(std::move(e));
  }
  static void disconnected(struct mosquitto*, void* context, int rc) { self(context).closed(rc); }
  static void published(struct mosquitto*, void* context, int mid) {
    BrokerConnection& c = self(context);
    {
      // QoS 0 messages count once written, QoS 1 once acknowledged. This can come before the
      // publishing thread has noted the message.
      std::lock_guard g(c.unackedMutex_);
      const auto it = c.unacked_.find(mid);
      if (it != c.unacked_.end()) {
        c.unackedBytes_ -= it->second.bytes;
        c.unacked_.erase(it);
      } else if (c.earlyAcks_.size() < kMaxEarlyAcks) {
        c.earlyAcks_.insert(mid);
      }
    }
    c.events_.post(event(BrokerEvent::Kind::Delivered, mid));
  }
  static void arrived(struct mosquitto*, void* context, const struct mosquitto_message* m) {
    BrokerEvent e = event(BrokerEvent::Kind::Message);
    e.topic = m->topic ? m->topic : "";
    if (m->payload && m->payloadlen > 0)
      e.payload.assign(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen));
    e.retained = m->retain;
    self(context).events_.post(std::move(e));
  }
  static void logged(struct mosquitto*, void* context, int level, const char* text) {
    BrokerConnection& c = self(context);
    if (!(level & MOSQ_LOG_ERR) || !text || c.phase_ != Phase::Connecting) return;
    if (!std::strstr(text, "OpenSSL Error") || c.tlsError_.size() >= 4096) return;
    c.tlsError_.append(text).push_back('\n');
  }
};

BrokerSettings brokerSettings(const MqttOptions& o, const BrokerAddress& address) {
  BrokerSettings s;
  s.host = address.socketHost();
  s.port = address.port;
  s.tls = address.tls;
  s.caFile = o.caFile;
  s.certFile = o.certFile;
  s.keyFile = o.keyFile;
  s.user = o.user;
  s.password = o.password;
  return s;
}

BrokerConnection::BrokerConnection(BrokerSettings settings, std::function<void()> wake)
    : settings_(std::move(settings)), events_(settings_.keepWholeTopic, std::move(wake)) {}

BrokerConnection::~BrokerConnection() {
  stopping_.store(true);
  if (thread_.joinable()) {
    wakeNetwork();
    thread_.join();
  }
  // Without a goodbye the socket just closes: the broker sends the will.
  if (client_) mosquitto_destroy(client_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool BrokerConnection::create(std::string& error) {
  initialiseOnce();
  client_ = mosquitto_new(settings_.clientId.empty() ? nullptr : settings_.clientId.c_str(), settings_.cleanSession,
                          this);
  if (!client_) {
    error = std::string("the MQTT client cannot be made (") + std::strerror(errno) + ")";
    return false;
  }
  if (!configure(error)) return false;
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    error = std::string("the MQTT client cannot be woken (") + std::strerror(errno) + ")";
    return false;
  }
  thread_ = std::thread([this] { run(); });
  return true;
}

bool BrokerConnection::configure(std::string& error) {
  mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  // Our thread does all socket work; publishing from the owner's thread only queues.
  mosquitto_threaded_set(client_, true);
  // The owners bound what is in flight; a library bound would hold messages back unsent,
  // and a goodbye would then leave them behind.
  mosquitto_max_inflight_messages_set(client_, 0);
  mosquitto_connect_callback_set(client_, &Callbacks::connected);
  mosquitto_disconnect_callback_set(client_, &Callbacks::disconnected);
  mosquitto_publish_callback_set(client_, &Callbacks::published);
  mosquitto_message_callback_set(client_, &Callbacks::arrived);
  int rc = MOSQ_ERR_SUCCESS;
  if (!settings_.user.empty())
    rc = mosquitto_username_pw_set(client_, settings_.user.c_str(), settings_.password.c_str());
  if (rc == MOSQ_ERR_SUCCESS && settings_.tls) {
    const auto file = [](const std::string& f) { return f.empty() ? nullptr : f.c_str(); };
    rc = mosquitto_tls_set(client_, file(settings_.caFile), settings_.caFile.empty() ? kSystemCaPath : nullptr,
                           file(settings_.certFile), file(settings_.keyFile), nullptr);
    // The broker's certificate must be signed by the CA and name the host we asked for.
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(client_, 1, nullptr, nullptr);
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(client_, false);
    if (rc != MOSQ_ERR_SUCCESS) {
      error = std::string("the MQTT TLS files cannot be used (") + mosquitto_strerror(rc) + ")";
      return false;
    }
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    error = std::string("the MQTT client refuses its settings (") + mosquitto_strerror(rc) + ")";
    return false;
  }
  return true;
}

void BrokerConnection::connect() {
  {
    std::lock_guard g(mutex_);
    connectAsked_ = true;
    askedWill_ = settings_.will;
  }
  wakeNetwork();
}

bool BrokerConnection::publish(const Outgoing& message, int& token) {
  if (!active_.load(std::memory_order_acquire)) return false;
  const std::size_t bytes = message.topic.size() + message.payload.size();
  {
    // A broker that reads slowly must not make the library's queue grow without end.
    std::lock_guard g(unackedMutex_);
    if (!unacked_.empty() && (unacked_.size() >= BrokerSettings::kMaxUnsentMessages ||
                              unackedBytes_ + bytes > settings_.maxUnsentBytes)) return false;
  }
  int mid = 0;
  const int rc = mosquitto_publish(client_, &mid, message.topic.c_str(), static_cast<int>(message.payload.size()),
                                   message.payload.data(), message.qos, message.retained);
  // A QoS 1 message is kept by the library even when the connection has just gone: it is
  // sent again with the session, so it counts as handed over.
  if (rc != MOSQ_ERR_SUCCESS && !(rc == MOSQ_ERR_NO_CONN && message.qos > 0 && mid != 0)) return false;
  token = mid;
  {
    std::lock_guard g(unackedMutex_);
    if (!earlyAcks_.erase(mid)) {
      unacked_[mid] = {bytes, message.qos};
      unackedBytes_ += bytes;
    }
  }
  // One wake-up for a batch: the thread writes all that is queued when it runs.
  if (!writePending_.exchange(true, std::memory_order_acq_rel)) wakeNetwork();
  return true;
}

void BrokerConnection::subscribe(const std::string& filter, int qos) {
  if (mosquitto_subscribe(client_, nullptr, filter.c_str(), qos) == MOSQ_ERR_SUCCESS) wakeNetwork();
}

void BrokerConnection::unsubscribe(const std::string& filter) {
  if (mosquitto_unsubscribe(client_, nullptr, filter.c_str()) == MOSQ_ERR_SUCCESS) wakeNetwork();
}

void BrokerConnection::disconnect(int timeoutMs) {
  {
    std::lock_guard g(mutex_);
    disconnectAsked_ = true;
    disconnectTimeoutMs_ = timeoutMs;
  }
  wakeNetwork();
}

void BrokerConnection::wakeNetwork() {
  const std::uint64_t one = 1;
  if (wakeFd_ >= 0 && ::write(wakeFd_, &one, sizeof one) < 0) {
    // Only a full counter fails, and then the thread is awake anyway.
  }
}

void BrokerConnection::run() {
  // A broker that closed its end must give an error, not end the process (TLS writes with
  // write(), without MSG_NOSIGNAL).
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  while (!stopping_.load()) {
    takeRequests(Clock::now());
    const int sock = phase_ == Phase::Idle ? -1 : mosquitto_socket(client_);
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {sock, POLLIN, 0}};
    if (sock >= 0 && mosquitto_want_write(client_)) fds[1].events |= POLLOUT;
    const int ready = ::poll(fds, sock >= 0 ? 2 : 1, phase_ == Phase::Leaving ? kLeavingPollMs : kIdlePollMs);
    if (ready < 0 && errno != EINTR) {
      // Not with valid descriptors; a pause keeps the thread from spinning if it happens.
      std::this_thread::sleep_for(std::chrono::milliseconds(kIdlePollMs));
      continue;
    }
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      if (::read(wakeFd_, &count, sizeof count) < 0) {
        // Nothing to read: another wake-up took it.
      }
    }
    if (sock >= 0 && phase_ != Phase::Idle && mosquitto_socket(client_) == sock) serveSocket(fds[1].revents);
  }
}

void BrokerConnection::serveSocket(short revents) {
  // While connecting, a writable socket may be what the TLS handshake waits for, and only
  // the library's read moves the handshake on.
  if ((revents & (POLLIN | POLLERR | POLLHUP)) || (phase_ == Phase::Connecting && (revents & POLLOUT)))
    mosquitto_loop_read(client_, 1);
  if (phase_ == Phase::Connecting && (revents & (POLLERR | POLLHUP)) && mosquitto_socket(client_) >= 0) {
    // A refused TLS attempt stays open in the library, and the error would wake us for good.
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(mosquitto_socket(client_), SOL_SOCKET, SO_ERROR, &error, &length);
    errno = error ? error : ECONNREFUSED;
    closed(MOSQ_ERR_ERRNO);
    return;
  }
  if (phase_ != Phase::Idle && mosquitto_socket(client_) >= 0) {
    writePending_.store(false, std::memory_order_release);
    if (mosquitto_want_write(client_)) mosquitto_loop_write(client_, 1);
  }
  if (phase_ != Phase::Idle && mosquitto_socket(client_) >= 0) mosquitto_loop_misc(client_);
  if (announce_ && phase_ == Phase::Connected) {
    announce_ = false;
    // Every packet would be formatted for the log otherwise; only a handshake's errors matter.
    mosquitto_log_callback_set(client_, nullptr);
    active_.store(true, std::memory_order_release);
    events_.post(event(BrokerEvent::Kind::Connected));
  }
  // The library closed the socket without telling (it tells through the disconnect
  // callback in every case we know of): the connection is over all the same.
  if (phase_ != Phase::Idle && mosquitto_socket(client_) < 0) closed(MOSQ_ERR_CONN_LOST);
}

void BrokerConnection::takeRequests(Clock::time_point now) {
  bool connect = false, disconnect = false;
  int timeoutMs = 0;
  Outgoing will;
  {
    std::lock_guard g(mutex_);
    connect = std::exchange(connectAsked_, false);
    if (connect) will = askedWill_;
    disconnect = std::exchange(disconnectAsked_, false);
    timeoutMs = disconnectTimeoutMs_;
  }
  if (disconnect) {
    if (phase_ == Phase::Connected) {
      phase_ = Phase::Leaving;
      leaveBy_ = now + std::chrono::milliseconds(timeoutMs);
      goodbyeSent_ = false;
    } else if (phase_ != Phase::Leaving) {
      phase_ = Phase::Idle;  // an attempt under way is dropped; the next one closes its socket
      active_.store(false);
      events_.post(event(BrokerEvent::Kind::Disconnected));
    }
  }
  if (connect && phase_ == Phase::Idle) startConnecting(will, now);
  if (phase_ == Phase::Connecting && now >= leaveBy_) {
    phase_ = Phase::Idle;
    BrokerEvent e = event(BrokerEvent::Kind::ConnectFailed);
    e.reason = tlsError_.empty() ? "cannot connect (the broker did not answer)" : tlsReason(tlsError_);
    events_.post(std::move(e));
  }
  if (phase_ == Phase::Leaving) {
    // What is queued goes first and is acknowledged, then the goodbye; its writing ends the
    // connection. An acknowledgement arriving after the socket closed would turn the close
    // into a reset, and the broker could lose the goodbye and send the will after all.
    if (!goodbyeSent_ && ((!mosquitto_want_write(client_) && allAcknowledged()) || now >= leaveBy_)) {
      goodbyeSent_ = true;
      active_.store(false);
      mosquitto_disconnect(client_);
    }
    if (now >= leaveBy_ + std::chrono::milliseconds(kIdlePollMs)) closed(MOSQ_ERR_SUCCESS);
  }
}

void BrokerConnection::startConnecting(const Outgoing& will, Clock::time_point now) {
  tlsError_.clear();
  // The library keeps unacknowledged messages across connections; a clean session must not
  // carry the last one's (a death sent again would end the new session).
  if (settings_.cleanSession && used_) {
    {
      std::lock_guard g(unackedMutex_);
      unacked_.clear();
      unackedBytes_ = 0;
      earlyAcks_.clear();
    }
    mosquitto_reinitialise(client_, settings_.clientId.empty() ? nullptr : settings_.clientId.c_str(), true, this);
    std::string error;
    if (!configure(error)) {
      BrokerEvent e = event(BrokerEvent::Kind::ConnectFailed);
      e.reason = error;
      events_.post(std::move(e));
      return;
    }
  }
  used_ = true;
  mosquitto_log_callback_set(client_, &Callbacks::logged);
  mosquitto_will_clear(client_);
  if (!will.topic.empty())
    mosquitto_will_set(client_, will.topic.c_str(), static_cast<int>(will.payload.size()), will.payload.data(),
                       will.qos, will.retained);
  // Also closes what is left of an earlier connection. In-flight QoS 1 messages stay with
  // the session and are sent again once connected.
  // Connecting already: on loopback the handshake may fail within the call, and what OpenSSL
  // says then is the reason.
  phase_ = Phase::Connecting;
  leaveBy_ = now + kConnectTimeout;
  const int rc = mosquitto_connect_async(client_, settings_.host.c_str(), settings_.port, settings_.keepAliveSeconds);
  if (rc != MOSQ_ERR_SUCCESS && phase_ == Phase::Connecting) closed(rc);
}

bool BrokerConnection::allAcknowledged() {
  std::lock_guard g(unackedMutex_);
  return unacked_.empty();
}

void BrokerConnection::closed(int rc) {
  const int error = errno;  // what a failed call left, for the reason
  active_.store(false);
  writePending_.store(false);  // the next connection's first message must wake the thread
  {
    // QoS 0 messages not yet written go with the connection; QoS 1 ones stay with the session.
    std::lock_guard g(unackedMutex_);
    earlyAcks_.clear();
    std::erase_if(unacked_, [this](const auto& entry) {
      if (entry.second.qos > 0) return false;
      unackedBytes_ -= entry.second.bytes;
      return true;
    });
  }
  Phase was = std::exchange(phase_, Phase::Idle);
  if (was == Phase::Connected && std::exchange(announce_, false)) was = Phase::Connecting;  // never announced
  if (was == Phase::Idle) return;
  if (was == Phase::Leaving) {
    events_.post(event(BrokerEvent::Kind::Disconnected));
    return;
  }
  BrokerEvent e = event(was == Phase::Connecting ? BrokerEvent::Kind::ConnectFailed : BrokerEvent::Kind::ConnectionLost);
  if (was == Phase::Connecting) {
    errno = error;
    e.reason = failureReason(rc);
    e.refused = !tlsError_.empty();
  } else {
    e.reason = rc == MOSQ_ERR_KEEPALIVE ? "the broker stopped answering" : "the connection was lost";
  }
  events_.post(std::move(e));
}

std::string BrokerConnection::failureReason(int rc) {
  const int error = errno;
  if (!tlsError_.empty()) return tlsReason(tlsError_);
  if (rc == MOSQ_ERR_ERRNO) return std::string("cannot connect (") + std::strerror(error) + ")";
  if (rc == MOSQ_ERR_EAI) return "cannot connect (the broker's host name is not known)";
  if (rc == MOSQ_ERR_KEEPALIVE) return "cannot connect (the broker did not answer)";
  return std::string("cannot connect (") + mosquitto_strerror(rc) + ")";
}

}  // namespace zentarc::mqtt
