#include "server/mqtt/JsonEngine.h"

#include <algorithm>
#include <vector>

#include "server/mqtt/BrokerConnection.h"
#include "server/mqtt/ConnectionAttempts.h"
#include "server/mqtt/JsonFormat.h"
#include "server/mqtt/PublishBuffer.h"
#include "server/mqtt/TagPoller.h"
#include "server/mqtt/WriteGateway.h"

namespace zentarc::mqtt {

namespace {

// How often the caches are looked at: new values go out within this of being read.
constexpr std::chrono::milliseconds kTickLimit{50};
// What shut-down gives the buffer to reach the broker, and the goodbye to finish.
constexpr std::chrono::milliseconds kDrainLimit{3000};
constexpr int kDisconnectTimeoutMs = 1000;

}  // namespace

// Everything the thread works with; touched by that thread only.
class JsonEngine : public PublisherEngine {
 public:
  explicit JsonEngine(EngineContext context)
      : ctx_(std::move(context)),
        format_(ctx_.plant, ctx_.options.prefix, ctx_.options.node),
        buffer_(ctx_.options.bufferBytes),
        poller_(ctx_.plant, ctx_.options.rateMs),
        gateway_(ctx_.plant, ctx_.wake),
        connection_(settings(ctx_.options, ctx_.address, format_), ctx_.wake),
        attempts_(ctx_),
        lastSequence_(ctx_.plant.tags.size(), 0),
        staleTags_(ctx_.plant.tags.size(), false),
        plcs_(ctx_.plant.plcs.size()),
        stalePlcs_(ctx_.plant.plcs.size(), false) {}

  bool create(std::string& error) override { return connection_.create(error); }
  void startPolling(SOCmnPointer<SODaSCreator> creator) override { poller_.start(std::move(creator)); }
  void stopPolling() override { poller_.stop(); }

  Clock::time_point turn(Clock::time_point now) override {
    handleEvents(now);
    answerWrites(now);
    if (now >= nextTick_) {
      sample(now);
      nextTick_ = now + tick();
    }
    if (!connected_ && !connecting_ && now >= attempts_.next()) {
      connecting_ = true;
      connection_.connect();
    }
    noteDrops();
    pump();
    updateFigures();
    Clock::time_point next = nextTick_;
    if (!connected_ && !connecting_) next = std::min(next, attempts_.next());
    return next;
  }

  // What is buffered, then offline, for at most kDrainLimit; then goodbye.
  void finish() override {
    if (!connected_) return;
    const std::uint64_t offline = push(format_.nodeState(false));
    const auto deadline = Clock::now() + kDrainLimit;
    while (connected_ && (buffer_.hasWaiting() || buffer_.sentCount() > 0) && Clock::now() < deadline) {
      handleEvents(Clock::now());
      pump();
      ctx_.pause(std::chrono::milliseconds(20));
    }
    updateFigures();
    if (!connected_) return;
    // A backlog too long to drain still holds "offline", and an orderly goodbye makes the
    // broker drop the will: offline goes out ahead of the backlog, or the broker would show
    // this server online for good.
    if (offline >= buffer_.oldestUnacknowledged()) {
      const auto window = Clock::now() + std::chrono::milliseconds(kDisconnectTimeoutMs);
      int token = 0;
      while (connected_ && !connection_.publish(format_.nodeState(false), token) && Clock::now() < window) {
        handleEvents(Clock::now());  // a connection lost meanwhile shows here
        ctx_.pause(std::chrono::milliseconds(20));
      }
    }
    connection_.disconnect(kDisconnectTimeoutMs);
    const auto goodbye = Clock::now() + std::chrono::milliseconds(kDisconnectTimeoutMs + 1000);
    bool done = false;
    while (!done && Clock::now() < goodbye) {
      for (const BrokerEvent& e : connection_.takeEvents()) done |= e.kind == BrokerEvent::Kind::Disconnected;
      ctx_.pause(std::chrono::milliseconds(20));
    }
    connected_ = false;
    ctx_.figures.connected = false;
    log(LogLevel::Notice, "MQTT: disconnected from " + ctx_.options.url + " (shutting down)");
  }

 private:
  static BrokerSettings settings(const MqttOptions& o, const BrokerAddress& address, const JsonFormat& format) {
    BrokerSettings s = brokerSettings(o, address);
    s.clientId = format.clientId();
    s.will = format.nodeState(false);
    return s;
  }

  std::chrono::milliseconds tick() const {
    return std::min(kTickLimit, std::chrono::milliseconds(ctx_.options.rateMs));
  }

  void log(LogLevel level, const std::string& text) const {
    if (ctx_.log) ctx_.log(level, text);
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
    attempts_.connected();
    log(LogLevel::Notice, "MQTT: connected to " + ctx_.options.url + " as " + format_.clientId());
    // Online first: consumers learn the node is back before its values arrive.
    int token = 0;
    connection_.publish(format_.nodeState(true), token);
    // The session outlives restarts: a server whose writes are now off must not keep the
    // subscription an earlier run made.
    for (const std::string& filter : format_.writeFilters()) {
      if (ctx_.options.write) connection_.subscribe(filter, 0);  // QoS 0: no stale writes replayed
      else connection_.unsubscribe(filter);
    }
    refreshAll();
  }

  // Every tag's state once more, except those whose latest state still waits in the buffer:
  // a broker that lost its retained messages gets them back, and no stale value stays.
  void refreshAll() {
    const std::uint64_t delivered = buffer_.oldestUnacknowledged();
    std::vector<TagState> states;
    for (std::size_t i = 0; i < ctx_.plant.tags.size(); ++i)
      if (lastSequence_[i] < delivered) states.push_back(poller_.current(i));
    publishStates(states);
    for (std::size_t p = 0; p < plcs_.size(); ++p)
      if (plcs_[p].sequence < delivered) publishPlc(p, true);
  }

  // A dropped message that was the latest of its tag (or PLC) leaves the broker's retained
  // state behind: it is marked to be sent again. Drops happen while the broker is away, and
  // also while it is slow to acknowledge after coming back.
  void noteDrops() {
    std::vector<std::uint64_t> dropped = buffer_.takeDropped();
    if (dropped.empty()) return;
    std::sort(dropped.begin(), dropped.end());
    const auto lost = [&](std::uint64_t sequence) {
      return sequence != 0 && std::binary_search(dropped.begin(), dropped.end(), sequence);
    };
    for (std::size_t i = 0; i < lastSequence_.size(); ++i)
      if (lost(lastSequence_[i])) {
        lastSequence_[i] = 0;  // a reconnection sends it again too
        if (!staleTags_[i]) ++staleCount_;
        staleTags_[i] = true;
      }
    for (std::size_t p = 0; p < plcs_.size(); ++p)
      if (lost(plcs_[p].sequence)) {
        plcs_[p].sequence = 0;
        if (!stalePlcs_[p]) ++staleCount_;
        stalePlcs_[p] = true;
      }
  }

  // Once the buffer has room again, every tag and PLC whose latest state was dropped goes out
  // as it is now; only into half of it, so that this never drops anything itself.
  void resendStale() {
    if (!connected_ || staleCount_ == 0) return;
    const std::size_t room = buffer_.limit() / 2;
    std::vector<TagState> one(1);
    for (std::size_t i = 0; i < staleTags_.size() && buffer_.bytes() <= room; ++i)
      if (staleTags_[i]) {
        one[0] = poller_.current(i);
        publishStates(one);
      }
    for (std::size_t p = 0; p < stalePlcs_.size() && buffer_.bytes() <= room; ++p)
      if (stalePlcs_[p]) publishPlc(p, true);
  }

  void failed(const BrokerEvent& e, Clock::time_point now) {
    connecting_ = false;
    attempts_.failed(e, now);
  }

  void lost(const BrokerEvent& e, Clock::time_point now) {
    connected_ = false;
    connecting_ = false;
    attempts_.lost(e, now);
  }

  void arrived(BrokerEvent& e, Clock::time_point now) {
    // A retained write is one somebody left at the broker, delivered again on every
    // subscription: carrying it out would repeat an old write.
    if (!ctx_.options.write || e.retained) return;
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
    resendStale();
    for (std::size_t p = 0; p < plcs_.size(); ++p) publishPlc(p, false);
  }

  void publishStates(const std::vector<TagState>& states) {
    if (states.empty()) return;
    outgoing_.clear();
    format_.tagStates(states, std::chrono::system_clock::now(), outgoing_);
    // One message per state, in order: each tag remembers its own message, so that a buffer
    // that dropped the front of a batch leaves exactly those tags to be sent again.
    for (std::size_t k = 0; k < outgoing_.size(); ++k) {
      const std::uint64_t sequence = push(std::move(outgoing_[k]));
      if (k < states.size()) {
        lastSequence_[states[k].tag] = sequence;
        if (staleTags_[states[k].tag]) {
          staleTags_[states[k].tag] = false;
          --staleCount_;
        }
      }
    }
  }

  // A PLC's state when it changed (or `always`, after a connection).
  void publishPlc(std::size_t p, bool always) {
    if (!ctx_.plantView) return;
    PlcState s;
    s.diagnostics = ctx_.plantView->diagnostics(p);
    const PlcDiagnostics& d = s.diagnostics;
    Published& last = plcs_[p];
    if (!always && last.seen && last.state == d.state && last.connected == d.connected &&
        last.cpu == d.cpuState && last.resultCode == d.lastResultCode)
      return;
    last = {true, d.state, d.connected, d.cpuState, d.lastResultCode, 0};
    if (d.lastResultCode != 0) s.resultText = ctx_.plantView->resultText(d.lastResultCode);
    outgoing_.clear();
    format_.plcState(p, s, std::chrono::system_clock::now(), outgoing_);
    for (Outgoing& o : outgoing_) last.sequence = push(std::move(o));
    if (stalePlcs_[p]) {
      stalePlcs_[p] = false;
      --staleCount_;
    }
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
    PublisherFigures& f = ctx_.figures;
    f.connected.store(connected_, std::memory_order_relaxed);
    f.published.store(buffer_.acknowledged(), std::memory_order_relaxed);
    f.buffered.store(buffer_.waitingCount() + buffer_.sentCount(), std::memory_order_relaxed);
    f.dropped.store(buffer_.dropped(), std::memory_order_relaxed);
  }

  // Messages handed to the library and not yet acknowledged, at most: what the library holds
  // for the session (and sends again after a reconnection) stays small.
  static constexpr std::size_t kWindow = 128;

  struct Published {
    bool seen = false;
    std::string state;
    bool connected = false;
    std::string cpu;
    std::uint32_t resultCode = 0;
    std::uint64_t sequence = 0;  // the last message that carried it
  };

  EngineContext ctx_;
  JsonFormat format_;
  PublishBuffer buffer_;
  TagPoller poller_;
  WriteGateway gateway_;
  BrokerConnection connection_;
  ConnectionAttempts attempts_;
  std::vector<std::uint64_t> lastSequence_;  // per tag: the last message that carried its state
  std::vector<bool> staleTags_;  // per tag: its latest state was dropped, not yet sent again
  std::vector<Published> plcs_;
  std::vector<bool> stalePlcs_;
  std::size_t staleCount_ = 0;
  std::vector<TagState> states_;
  std::vector<Outgoing> outgoing_;
  bool connected_ = false;
  bool connecting_ = false;
  Clock::time_point nextTick_{};
};

std::unique_ptr<PublisherEngine> makeJsonEngine(EngineContext context) {
  return std::make_unique<JsonEngine>(std::move(context));
}

}  // namespace zentarc::mqtt
