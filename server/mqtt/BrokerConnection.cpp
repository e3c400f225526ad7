#include "server/mqtt/BrokerConnection.h"

#include <MQTTAsync.h>

#include <cstring>

namespace zentarc::mqtt {

namespace {

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
  // OpenSSL 3 initialises itself; the OPC UA side uses it too.
  static const bool done = [] {
    MQTTAsync_init_options init = MQTTAsync_init_options_initializer;
    init.do_openssl_init = 0;
    MQTTAsync_global_init(&init);
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

}  // namespace

// The library's C callbacks, each turned into an event.
struct BrokerConnection::Callbacks {
  static void connected(void* context, MQTTAsync_successData*) {
    static_cast<BrokerConnection*>(context)->post(event(BrokerEvent::Kind::Connected));
  }
  static void connectFailed(void* context, MQTTAsync_failureData* data) {
    auto* self = static_cast<BrokerConnection*>(context);
    BrokerEvent e = event(BrokerEvent::Kind::ConnectFailed);
    std::string tls;
    {
      std::lock_guard g(self->mutex_);
      tls.swap(self->tlsError_);
    }
    const int code = data ? data->code : MQTTASYNC_FAILURE;
    if (code > 0) {
      e.reason = connackText(code);
      e.refused = code == 4 || code == 5;
    } else if (!tls.empty()) {
      // OpenSSL's line: "...:error:0A000086:SSL routines:...:certificate verify failed:..."; the
      // reason is the text before the source position.
      std::string text = tls.substr(0, tls.find('\n'));
      const auto sslRoutines = text.find("SSL routines:");
      if (sslRoutines != std::string::npos) {
        text = text.substr(sslRoutines + 13);
        const auto fn = text.find(':');
        if (fn != std::string::npos) text = text.substr(fn + 1);
        const auto src = text.find(':');
        if (src != std::string::npos) text = text.substr(0, src);
      }
      e.reason = "TLS handshake failed: " + text;
      e.refused = true;
    } else {
      e.reason = "cannot connect";
      if (data && data->message && *data->message) e.reason += std::string(" (") + data->message + ")";
    }
    self->post(std::move(e));
  }
  static void lost(void* context, char* cause) {
    BrokerEvent e = event(BrokerEvent::Kind::ConnectionLost);
    e.reason = cause && *cause ? cause : "the connection was lost";
    if (cause) MQTTAsync_free(cause);
    static_cast<BrokerConnection*>(context)->post(std::move(e));
  }
  static int arrived(void* context, char* topic, int topicLength, MQTTAsync_message* message) {
    BrokerEvent e = event(BrokerEvent::Kind::Message);
    e.topic.assign(topic, topicLength > 0 ? static_cast<std::size_t>(topicLength) : std::strlen(topic));
    e.payload.assign(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen));
    e.retained = message->retained != 0;
    MQTTAsync_freeMessage(&message);
    MQTTAsync_free(topic);
    static_cast<BrokerConnection*>(context)->post(std::move(e));
    return 1;
  }
  static void delivered(void* context, MQTTAsync_successData* data) {
    static_cast<BrokerConnection*>(context)->post(event(BrokerEvent::Kind::Delivered, data->token));
  }
  static void deliveryFailed(void* context, MQTTAsync_failureData* data) {
    static_cast<BrokerConnection*>(context)->post(event(BrokerEvent::Kind::DeliveryFailed, data->token));
  }
  static void disconnected(void* context, MQTTAsync_successData*) {
    static_cast<BrokerConnection*>(context)->post(event(BrokerEvent::Kind::Disconnected));
  }
  static void disconnectFailed(void* context, MQTTAsync_failureData*) {
    static_cast<BrokerConnection*>(context)->post(event(BrokerEvent::Kind::Disconnected));
  }
  static int tlsError(const char* text, std::size_t length, void* context) {
    auto* self = static_cast<BrokerConnection*>(context);
    std::lock_guard g(self->mutex_);
    if (self->tlsError_.size() < 4096) self->tlsError_.append(text, length);
    return 0;
  }
};

BrokerSettings brokerSettings(const MqttOptions& o, const BrokerAddress& address) {
  BrokerSettings s;
  s.uri = address.pahoUri();
  s.tls = address.tls;
  s.caFile = o.caFile;
  s.certFile = o.certFile;
  s.keyFile = o.keyFile;
  s.user = o.user;
  s.password = o.password;
  return s;
}

BrokerConnection::BrokerConnection(BrokerSettings settings, std::function<void()> wake)
    : settings_(std::move(settings)), wake_(std::move(wake)) {}

BrokerConnection::~BrokerConnection() {
  if (client_) {
    MQTTAsync handle = client_;
    MQTTAsync_destroy(&handle);
  }
}

bool BrokerConnection::create(std::string& error) {
  initialiseOnce();
  // Made without creation options: with them, the library counts its whole queue on every
  // publish (to bound what it buffers), which at thousands of messages a second costs more
  // than the rest. We never send while disconnected and bound the queue ourselves (the window).
  MQTTAsync handle = nullptr;
  int rc = MQTTAsync_create(&handle, settings_.uri.c_str(), settings_.clientId.c_str(), MQTTCLIENT_PERSISTENCE_NONE,
                            nullptr);
  if (rc != MQTTASYNC_SUCCESS) {
    error = "the MQTT client cannot be made for " + settings_.uri + " (" + MQTTAsync_strerror(rc) + ")";
    return false;
  }
  client_ = handle;
  rc = MQTTAsync_setCallbacks(handle, this, &Callbacks::lost, &Callbacks::arrived, nullptr);
  if (rc != MQTTASYNC_SUCCESS) {
    error = std::string("the MQTT client's callbacks cannot be set (") + MQTTAsync_strerror(rc) + ")";
    return false;
  }
  return true;
}

void BrokerConnection::connect() {
  MQTTAsync_connectOptions o = MQTTAsync_connectOptions_initializer;
  o.MQTTVersion = MQTTVERSION_3_1_1;
  o.keepAliveInterval = settings_.keepAliveSeconds;
  o.cleansession = settings_.cleanSession ? 1 : 0;
  o.maxInflight = settings_.maxInFlight;
  o.connectTimeout = 10;
  o.automaticReconnect = 0;  // the publisher decides when to try again
  o.onSuccess = &Callbacks::connected;
  o.onFailure = &Callbacks::connectFailed;
  o.context = this;
  MQTTAsync_willOptions will = MQTTAsync_willOptions_initializer;
  will.topicName = settings_.will.topic.c_str();
  will.payload.data = settings_.will.payload.data();
  will.payload.len = static_cast<int>(settings_.will.payload.size());
  will.retained = settings_.will.retained ? 1 : 0;
  will.qos = settings_.will.qos;
  o.will = &will;
  if (!settings_.user.empty()) {
    o.username = settings_.user.c_str();
    o.binarypwd.data = settings_.password.data();
    o.binarypwd.len = static_cast<int>(settings_.password.size());
  }
  MQTTAsync_SSLOptions ssl = MQTTAsync_SSLOptions_initializer;
  if (settings_.tls) {
    ssl.enableServerCertAuth = 1;
    ssl.verify = 1;  // the broker's certificate must name the host we asked for
    if (!settings_.caFile.empty()) ssl.trustStore = settings_.caFile.c_str();
    if (!settings_.certFile.empty()) ssl.keyStore = settings_.certFile.c_str();
    if (!settings_.keyFile.empty()) ssl.privateKey = settings_.keyFile.c_str();
    ssl.ssl_error_cb = &Callbacks::tlsError;
    ssl.ssl_error_context = this;
    o.ssl = &ssl;
  }
  {
    std::lock_guard g(mutex_);
    tlsError_.clear();
  }
  const int rc = MQTTAsync_connect(client_, &o);
  if (rc != MQTTASYNC_SUCCESS) {
    BrokerEvent e = event(BrokerEvent::Kind::ConnectFailed);
    e.reason = std::string("cannot connect (") + MQTTAsync_strerror(rc) + ")";
    post(std::move(e));
  }
}

bool BrokerConnection::publish(const Outgoing& message, int& token) {
  MQTTAsync_responseOptions r = MQTTAsync_responseOptions_initializer;
  r.onSuccess = &Callbacks::delivered;
  r.onFailure = &Callbacks::deliveryFailed;
  r.context = this;
  MQTTAsync_message m = MQTTAsync_message_initializer;
  m.payload = const_cast<char*>(message.payload.data());
  m.payloadlen = static_cast<int>(message.payload.size());
  m.qos = message.qos;
  m.retained = message.retained ? 1 : 0;
  if (MQTTAsync_sendMessage(client_, message.topic.c_str(), &m, &r) != MQTTASYNC_SUCCESS) return false;
  token = r.token;
  return true;
}

void BrokerConnection::subscribe(const std::string& filter, int qos) {
  MQTTAsync_responseOptions r = MQTTAsync_responseOptions_initializer;
  MQTTAsync_subscribe(client_, filter.c_str(), qos, &r);
}

void BrokerConnection::unsubscribe(const std::string& filter) {
  MQTTAsync_responseOptions r = MQTTAsync_responseOptions_initializer;
  MQTTAsync_unsubscribe(client_, filter.c_str(), &r);
}

void BrokerConnection::disconnect(int timeoutMs) {
  MQTTAsync_disconnectOptions o = MQTTAsync_disconnectOptions_initializer;
  o.timeout = timeoutMs;
  o.onSuccess = &Callbacks::disconnected;
  o.onFailure = &Callbacks::disconnectFailed;
  o.context = this;
  if (MQTTAsync_disconnect(client_, &o) != MQTTASYNC_SUCCESS) post(event(BrokerEvent::Kind::Disconnected));
}

void BrokerConnection::post(BrokerEvent event) {
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
      const bool keepWhole = !settings_.keepWholeTopic.empty() && event.topic == settings_.keepWholeTopic &&
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

std::vector<BrokerEvent> BrokerConnection::takeEvents() {
  std::vector<BrokerEvent> out;
  std::lock_guard g(mutex_);
  out.swap(events_);
  waitingMessages_ = 0;
  waitingBytes_ = 0;
  waitingDeliveries_ = 0;
  return out;
}

}  // namespace zentarc::mqtt
