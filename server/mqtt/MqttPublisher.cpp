#include "server/mqtt/MqttPublisher.h"

#include <fstream>

#include "server/mqtt/BrokerConnection.h"
#include "server/mqtt/JsonFormat.h"
#include "server/mqtt/PublishBuffer.h"
#include "server/mqtt/ReconnectPolicy.h"
#include "server/mqtt/TagPoller.h"
#include "server/mqtt/WriteGateway.h"

namespace zentarc::mqtt {

namespace {

using Clock = std::chrono::steady_clock;

// How often the caches are looked at: new values go out within this of being read.
constexpr std::chrono::milliseconds kTickLimit{50};
// What shut-down gives the buffer to reach the broker, and the goodbye to finish.
constexpr std::chrono::milliseconds kDrainLimit{3000};
constexpr int kDisconnectTimeoutMs = 1000;

bool readable(const std::string& path, std::string& error, const char* what) {
  std::ifstream f(path);
  if (f) return true;
  error = std::string("the MQTT ") + what + " \"" + path + "\" cannot be read";
  return false;
}

}  // namespace

class MqttPublisher::Figures : public BrokerView {
 public:
  explicit Figures(std::string url) : url_(std::move(url)) {}
  BrokerFigures figures() const override {
    BrokerFigures f;
    f.url = url_;
    f.connected = connected.load(std::memory_order_relaxed);
    f.published = published.load(std::memory_order_relaxed);
    f.buffered = buffered.load(std::memory_order_relaxed);
    f.dropped = dropped.load(std::memory_order_relaxed);
    std::lock_guard g(mutex_);
    f.lastError = lastError_;
    return f;
  }
  void setLastError(std::string text) {
    std::lock_guard g(mutex_);
    lastError_ = std::move(text);
  }

  std::atomic<bool> connected{false};
  std::atomic<std::uint64_t> published{0}, buffered{0}, dropped{0};

 private:
  const std::string url_;
  mutable std::mutex mutex_;
  std::string lastError_;
};

// Everything the thread works with; touched by that thread only.
class MqttPublisher::Engine {
 public:
  Engine(MqttPublisher& owner, const BrokerAddress& address)
      : owner_(owner),
        format_(owner.plant_, owner.options_.prefix, owner.options_.node),
        buffer_(owner.options_.bufferBytes),
        poller_(owner.plant_, owner.options_.rateMs),
        gateway_(owner.plant_, [&owner] { owner.wake(); }),
        connection_(settings(owner.options_, address, format_), [&owner] { owner.wake(); }),
        lastSequence_(owner.plant_.tags.size(), 0),
        plcs_(owner.plant_.plcs.size()) {}

  bool create(std::string& error) { return connection_.create(error); }
  void startPolling() { poller_.start(owner_.creator_); }
  void stopPolling() { poller_.stop(); }

  // One turn of the thread; returns when it wants to run again.
  Clock::time_point turn(Clock::time_point now) {
    handleEvents(now);
    answerWrites(now);
    if (now >= nextTick_) {
      sample(now);
      nextTick_ = now + tick();
    }
    if (!connected_ && !connecting_ && now >= nextAttempt_) {
      connecting_ = true;
      connection_.connect();
    }
    pump();
    updateFigures();
    Clock::time_point next = nextTick_;
    if (!connected_ && !connecting_) next = std::min(next, nextAttempt_);
    return next;
  }

  // Offline, then what is buffered, for at most kDrainLimit; then goodbye.
  void finish() {
    if (!connected_) return;
    push(format_.nodeState(false));
    const auto deadline = Clock::now() + kDrainLimit;
    while (connected_ && (buffer_.hasWaiting() || buffer_.sentCount() > 0) && Clock::now() < deadline) {
      handleEvents(Clock::now());
      pump();
      std::unique_lock lock(owner_.mutex_);
      owner_.wakeUp_.wait_for(lock, std::chrono::milliseconds(20), [this] { return owner_.woken_; });
      owner_.woken_ = false;
    }
    updateFigures();
    if (!connected_) return;
    connection_.disconnect(kDisconnectTimeoutMs);
    const auto goodbye = Clock::now() + std::chrono::milliseconds(kDisconnectTimeoutMs + 1000);
    bool done = false;
    while (!done && Clock::now() < goodbye) {
      for (const BrokerEvent& e : connection_.takeEvents()) done |= e.kind == BrokerEvent::Kind::Disconnected;
      std::unique_lock lock(owner_.mutex_);
      owner_.wakeUp_.wait_for(lock, std::chrono::milliseconds(20), [this] { return owner_.woken_; });
      owner_.woken_ = false;
    }
    connected_ = false;
    owner_.figures_->connected = false;
    log(LogLevel::Notice, "MQTT: disconnected from " + owner_.options_.url + " (shutting down)");
  }

 private:
  static BrokerSettings settings(const MqttOptions& o, const BrokerAddress& address, const JsonFormat& format) {
    BrokerSettings s;
    s.uri = address.pahoUri();
    s.tls = address.tls;
    s.caFile = o.caFile;
    s.certFile = o.certFile;
    s.keyFile = o.keyFile;
    s.user = o.user;
    s.password = o.password;
    s.clientId = format.clientId();
    s.will = format.nodeState(false);
    s.maxInFlight = static_cast<int>(kWindow);
    return s;
  }

  std::chrono::milliseconds tick() const {
    return std::min(kTickLimit, std::chrono::milliseconds(owner_.options_.rateMs));
  }

  void log(LogLevel level, const std::string& text) const {
    if (owner_.log_) owner_.log_(level, text);
  }

  std::uint64_t push(Outgoing message) { return buffer_.push(std::move(message)); }

  void handleEvents(Clock::time_point now) {
    for (BrokerEvent& e : connection_.takeEvents()) {
      switch (e.kind) {
        case BrokerEvent::Kind::Connected: connected(); break;
        case BrokerEvent::Kind::ConnectFailed: failed(e, now); break;
        case BrokerEvent::Kind::ConnectionLost: lost(e, now); break;
        case BrokerEvent::Kind::Delivered: buffer_.acknowledge(e.token); break;
        case BrokerEvent::Kind::DeliveryFailed: buffer_.giveBack(e.token); break;
        case BrokerEvent::Kind::Message: arrived(e, now); break;
        case BrokerEvent::Kind::Disconnected: break;
      }
    }
  }

  void connected() {
    connected_ = true;
    connecting_ = false;
    policy_.connected();
    reasons_.reset();
    owner_.figures_->setLastError({});
    log(LogLevel::Notice, "MQTT: connected to " + owner_.options_.url + " as " + format_.clientId());
    // Online first: consumers learn the node is back before its values arrive.
    int token = 0;
    connection_.publish(format_.nodeState(true), token);
    // The session outlives restarts: a server whose writes are now off must not keep the
    // subscription an earlier run made.
    for (const std::string& filter : format_.writeFilters()) {
      if (owner_.options_.write) connection_.subscribe(filter, 0);  // QoS 0: no stale writes replayed
      else connection_.unsubscribe(filter);
    }
    refreshAll();
  }

  // Every tag's state once more, except those whose latest state still waits in the buffer:
  // a broker that lost its retained messages gets them back, and no stale value stays.
  void refreshAll() {
    const std::uint64_t delivered = buffer_.oldestUnacknowledged();
    std::vector<TagState> states;
    for (std::size_t i = 0; i < owner_.plant_.tags.size(); ++i)
      if (lastSequence_[i] < delivered) states.push_back(poller_.current(i));
    publishStates(states);
    for (std::size_t p = 0; p < plcs_.size(); ++p)
      if (plcs_[p].sequence < delivered) publishPlc(p, true);
  }

  void failed(const BrokerEvent& e, Clock::time_point now) {
    connecting_ = false;
    const auto wait = policy_.failed(e.refused);
    nextAttempt_ = now + wait;
    owner_.figures_->setLastError(e.reason);
    if (reasons_.changed(e.reason))
      log(LogLevel::Warning, "MQTT: " + owner_.options_.url + ": " + e.reason + "; trying again every " +
                                 (e.refused ? "30 s" : "1 to 30 s") + " (logged again when the reason changes)");
  }

  void lost(const BrokerEvent& e, Clock::time_point now) {
    connected_ = false;
    connecting_ = false;
    nextAttempt_ = now + policy_.failed(false);
    owner_.figures_->setLastError(e.reason);
    reasons_.reset();
    log(LogLevel::Warning, "MQTT: disconnected from " + owner_.options_.url + ": " + e.reason);
  }

  void arrived(BrokerEvent& e, Clock::time_point now) {
    // A retained write is one somebody left at the broker, delivered again on every
    // subscription: carrying it out would repeat an old write.
    if (!owner_.options_.write || e.retained) return;
    WriteCommand command = format_.decodeWrite(e.topic, e.payload);
    if (command.resultTopic.empty()) return;
    if (e.overflow) command.status = "BadTooManyOperations";
    std::vector<WriteAnswer> answers;
    gateway_.take(std::move(command), now, answers);
    for (WriteAnswer& a : answers) push(format_.writeResult(a.command, a.status, std::chrono::system_clock::now()));
  }

  void answerWrites(Clock::time_point now) {
    std::vector<WriteAnswer> answers;
    gateway_.collect(now, answers);
    for (WriteAnswer& a : answers) push(format_.writeResult(a.command, a.status, std::chrono::system_clock::now()));
  }

  void sample(Clock::time_point now) {
    states_.clear();
    poller_.changes(now, states_);
    publishStates(states_);
    for (std::size_t p = 0; p < plcs_.size(); ++p) publishPlc(p, false);
  }

  void publishStates(const std::vector<TagState>& states) {
    if (states.empty()) return;
    outgoing_.clear();
    format_.tagStates(states, std::chrono::system_clock::now(), outgoing_);
    std::uint64_t last = 0;
    for (Outgoing& o : outgoing_) last = push(std::move(o));
    for (const TagState& s : states) lastSequence_[s.tag] = last;
  }

  // A PLC's state when it changed (or `always`, after a connection).
  void publishPlc(std::size_t p, bool always) {
    if (!owner_.plantView_) return;
    PlcState s;
    s.diagnostics = owner_.plantView_->diagnostics(p);
    const PlcDiagnostics& d = s.diagnostics;
    Published& last = plcs_[p];
    if (!always && last.seen && last.state == d.state && last.connected == d.connected &&
        last.resultCode == d.lastResultCode)
      return;
    last = {true, d.state, d.connected, d.lastResultCode, 0};
    if (d.lastResultCode != 0) s.resultText = owner_.plantView_->resultText(d.lastResultCode);
    outgoing_.clear();
    format_.plcState(p, s, std::chrono::system_clock::now(), outgoing_);
    for (Outgoing& o : outgoing_) last.sequence = push(std::move(o));
  }

  void pump() {
    while (connected_ && buffer_.hasWaiting() && buffer_.sentCount() < kWindow) {
      int token = 0;
      if (!connection_.publish(buffer_.nextWaiting().message, token)) break;
      buffer_.markSent(token);
    }
    // Waiting for room: the acknowledgements that make it should wake us.
    connection_.wakeOnDeliveries(connected_ && buffer_.hasWaiting());
  }

  void updateFigures() {
    Figures& f = *owner_.figures_;
    f.connected.store(connected_, std::memory_order_relaxed);
    f.published.store(buffer_.acknowledged(), std::memory_order_relaxed);
    f.buffered.store(buffer_.waitingCount() + buffer_.sentCount(), std::memory_order_relaxed);
    f.dropped.store(buffer_.dropped(), std::memory_order_relaxed);
  }

  // Messages handed to the library and not yet acknowledged, at most.
  static constexpr std::size_t kWindow = 1024;

  struct Published {
    bool seen = false;
    std::string state;
    bool connected = false;
    std::uint32_t resultCode = 0;
    std::uint64_t sequence = 0;  // the last message that carried it
  };

  MqttPublisher& owner_;
  JsonFormat format_;
  PublishBuffer buffer_;
  TagPoller poller_;
  WriteGateway gateway_;
  BrokerConnection connection_;
  ReconnectPolicy policy_;
  ReasonLog reasons_;
  std::vector<std::uint64_t> lastSequence_;  // per tag: the last message that carried its state
  std::vector<Published> plcs_;
  std::vector<TagState> states_;
  std::vector<Outgoing> outgoing_;
  bool connected_ = false;
  bool connecting_ = false;
  Clock::time_point nextAttempt_{};
  Clock::time_point nextTick_{};
};

MqttPublisher::MqttPublisher(MqttOptions options, std::vector<SOCmnPointer<SODaSTag>> tags,
                             std::shared_ptr<const PlantView> plant, SOCmnPointer<SODaSCreator> creator, LogSink log)
    : options_(std::move(options)),
      plantView_(std::move(plant)),
      creator_(std::move(creator)),
      log_(std::move(log)),
      plant_(collectPlant(tags, plantView_.get())),
      figures_(std::make_shared<Figures>(options_.url)) {}

MqttPublisher::~MqttPublisher() { stop(); }

std::shared_ptr<const BrokerView> MqttPublisher::view() const { return figures_; }

bool MqttPublisher::start(std::string& error) {
  if (engine_) return true;
  if (!checkOptions(options_, error)) return false;
  for (const auto& [path, what] : {std::pair{options_.caFile, "CA file"}, std::pair{options_.certFile, "certificate"},
                                   std::pair{options_.keyFile, "key"}})
    if (!path.empty() && !readable(path, error, what)) return false;
  BrokerAddress address;
  parseBrokerUrl(options_.url, address, error);
  auto engine = std::make_unique<Engine>(*this, address);
  if (!engine->create(error)) return false;
  engine->startPolling();
  engine_ = std::move(engine);
  if (log_)
    log_(LogLevel::Info, "MQTT: publishing " + std::to_string(plant_.tags.size()) + " tags of " +
                             std::to_string(plant_.plcs.size()) + " PLCs to " + options_.url + " every " +
                             std::to_string(options_.rateMs) + " ms, writes " + (options_.write ? "on" : "off"));
  stopping_ = false;
  thread_ = std::thread([this] {
    Clock::time_point next = Clock::now();
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        wakeUp_.wait_until(lock, next, [this] { return woken_ || stopping_; });
        woken_ = false;
        if (stopping_) break;
      }
      next = engine_->turn(Clock::now());
    }
    engine_->finish();
  });
  return true;
}

void MqttPublisher::stop() {
  if (!engine_) return;
  {
    std::lock_guard g(mutex_);
    stopping_ = true;
  }
  wakeUp_.notify_all();
  if (thread_.joinable()) thread_.join();
  engine_->stopPolling();
  engine_.reset();
}

void MqttPublisher::wake() {
  {
    std::lock_guard g(mutex_);
    woken_ = true;
  }
  wakeUp_.notify_one();
}

}  // namespace zentarc::mqtt
