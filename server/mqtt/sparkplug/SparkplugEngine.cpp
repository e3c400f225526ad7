#include "server/mqtt/sparkplug/SparkplugEngine.h"

#include <algorithm>

#include "server/mqtt/BrokerConnection.h"
#include "server/mqtt/ConnectionAttempts.h"
#include "server/mqtt/TagPoller.h"
#include "server/mqtt/WriteGateway.h"
#include "server/mqtt/sparkplug/CommandValues.h"
#include "server/mqtt/sparkplug/HistoryStore.h"
#include "server/mqtt/sparkplug/HostState.h"
#include "server/mqtt/sparkplug/MetricCatalogue.h"
#include "server/mqtt/sparkplug/Topics.h"

namespace zentarc::mqtt::sparkplug {

namespace {

using Clock = std::chrono::steady_clock;

// How often the caches are looked at: new values go out within this of being read.
constexpr std::chrono::milliseconds kTickLimit{50};
constexpr int kDisconnectTimeoutMs = 1000;
// Stored changes go out in messages of at most this many metrics.
constexpr std::size_t kHistoryPerMessage = 1000;

// Refused commands are logged, but a host that sends many cannot fill the log: at most ten
// lines a minute, and then how many were left out.
class RefusalLog {
 public:
  void note(const std::string& text, Clock::time_point now, const LogSink& log) {
    if (now >= windowEnd_) {
      if (suppressed_ > 0 && log)
        log(LogLevel::Warning, "MQTT: " + std::to_string(suppressed_) + " more refused Sparkplug commands not logged");
      windowEnd_ = now + std::chrono::minutes(1);
      logged_ = 0;
      suppressed_ = 0;
    }
    if (logged_ < kPerMinute) {
      ++logged_;
      if (log) log(LogLevel::Warning, text);
    } else {
      ++suppressed_;
    }
  }

 private:
  static constexpr std::size_t kPerMinute = 10;
  Clock::time_point windowEnd_{};
  std::size_t logged_ = 0;
  std::size_t suppressed_ = 0;
};

std::string commandName(const Metric& m) {
  return m.name.empty() ? "alias " + (m.alias ? std::to_string(*m.alias) : std::string("(none)")) : "\"" + m.name + "\"";
}

class SparkplugEngine : public PublisherEngine {
 public:
  explicit SparkplugEngine(EngineContext context)
      : ctx_(std::move(context)),
        group_(ctx_.options.sparkplugGroup),
        node_(ctx_.options.node),
        catalogue_(ctx_.plant),
        poller_(ctx_.plant, ctx_.options.rateMs),
        gateway_(ctx_.plant, ctx_.wake),
        connection_(settings(), ctx_.wake),
        attempts_(ctx_),
        history_(ctx_.plant.plcs.size(), ctx_.options.bufferBytes),
        deviceBorn_(ctx_.plant.plcs.size(), false),
        lastDiagnostics_(ctx_.plant.plcs.size()),
        lastResultCode_(ctx_.plant.plcs.size(), 0),
        resultText_(ctx_.plant.plcs.size()),
        pending_(ctx_.plant.plcs.size()) {
    for (std::size_t p = 0; p < ctx_.plant.plcs.size(); ++p) {
      const std::string& device = ctx_.plant.plcs[p];
      dbirth_.push_back(topicOf(group_, MessageType::DBIRTH, node_, device));
      ddeath_.push_back(topicOf(group_, MessageType::DDEATH, node_, device));
      ddata_.push_back(topicOf(group_, MessageType::DDATA, node_, device));
    }
  }

  bool create(std::string& error) override { return connection_.create(error); }
  void startPolling(SOCmnPointer<SODaSCreator> creator) override { poller_.start(std::move(creator)); }
  void stopPolling() override { poller_.stop(); }

  Clock::time_point turn(Clock::time_point now) override {
    handleEvents(now);
    answerWrites(now);
    if (now >= nextTick_) {
      sample(now);
      nextTick_ = now + std::min(kTickLimit, std::chrono::milliseconds(ctx_.options.rateMs));
    }
    if (!connected_ && !connecting_ && now >= attempts_.next()) startConnecting();
    updateFigures();
    Clock::time_point next = nextTick_;
    if (!connected_ && !connecting_) next = std::min(next, attempts_.next());
    return next;
  }

  // The node says goodbye itself, so hosts know at once rather than after the keep-alive.
  void finish() override {
    if (!connected_) return;
    if (!disconnecting_) {
      publishDeath();
      connection_.disconnect(kDisconnectTimeoutMs);
    }
    const auto goodbye = Clock::now() + std::chrono::milliseconds(kDisconnectTimeoutMs + 1000);
    bool done = false;
    while (!done && Clock::now() < goodbye) {
      for (const BrokerEvent& e : connection_.takeEvents()) done |= e.kind == BrokerEvent::Kind::Disconnected;
      if (!done) ctx_.pause(std::chrono::milliseconds(20));
    }
    connected_ = false;
    ctx_.figures.connected = false;
    log(LogLevel::Notice, "MQTT: disconnected from " + ctx_.options.url + " (shutting down)");
  }

 private:
  BrokerSettings settings() const {
    BrokerSettings s = brokerSettings(ctx_.options, ctx_.address);
    s.clientId = "opczentarc-" + node_;
    s.cleanSession = true;  // Sparkplug's rule: delivery rests on births, seq and rebirth
    if (!ctx_.options.sparkplugHost.empty()) s.keepWholeTopic = stateTopic(ctx_.options.sparkplugHost);
    return s;  // the will, this session's NDEATH, is set before each attempt
  }

  void log(LogLevel level, const std::string& text) const {
    if (ctx_.log) ctx_.log(level, text);
  }

  std::string edgeNode() const { return group_ + "/" + node_; }

  // NDEATH: the bdSeq of the session it ends, no seq; the will and the orderly goodbye.
  Outgoing death() const {
    Payload p;
    p.timestamp = toMillis(std::chrono::system_clock::now());
    Metric m;
    m.name = kBdSeqName;
    m.datatype = DataType::UInt64;
    m.timestamp = p.timestamp;
    m.value = std::uint64_t{bdSeq_};
    p.metrics.push_back(std::move(m));
    return Outgoing{topicOf(group_, MessageType::NDEATH, node_), encodePayload(p), false, 1};
  }

  void publishDeath() {
    int token = 0;
    connection_.publish(death(), token);
  }

  // Births, data and deaths carry the next seq; QoS 0 and not retained, as Sparkplug has them.
  void publish(const std::string& topic, Payload& payload) {
    payload.seq = seq_++;
    int token = 0;
    if (!connection_.publish(Outgoing{topic, encodePayload(payload), false, 0}, token)) {
      // A gap in seq that hosts would see; new births make the session whole again.
      if (!rebirthNeeded_) log(LogLevel::Warning, "MQTT: a Sparkplug message could not be handed on; rebirth follows");
      rebirthNeeded_ = true;
    }
  }

  void startConnecting() {
    // A new session has a new bdSeq; attempts that never connected keep theirs.
    if (bdSeqUsed_) {
      bdSeq_ = static_cast<std::uint8_t>(bdSeq_ + 1);
      bdSeqUsed_ = false;
    }
    connection_.setWill(death());
    connecting_ = true;
    connection_.connect();
  }

  void handleEvents(Clock::time_point now) {
    for (BrokerEvent& e : connection_.takeEvents()) {
      switch (e.kind) {
        case BrokerEvent::Kind::Connected: connected(); break;
        case BrokerEvent::Kind::ConnectFailed: failed(e, now); break;
        case BrokerEvent::Kind::ConnectionLost: lost(e, now); break;
        case BrokerEvent::Kind::Delivered: ++published_; break;
        case BrokerEvent::Kind::DeliveryFailed: break;
        case BrokerEvent::Kind::Message: arrived(e, now); break;
        case BrokerEvent::Kind::Disconnected: left(now); break;
      }
    }
  }

  void connected() {
    connected_ = true;
    connecting_ = false;
    bdSeqUsed_ = true;
    attempts_.connected();
    log(LogLevel::Notice, "MQTT: connected to " + ctx_.options.url + " as Sparkplug edge node " + edgeNode() +
                              " (bdSeq " + std::to_string(bdSeq_) + ")");
    connection_.subscribe(topicOf(group_, MessageType::NCMD, node_), 1);
    connection_.subscribe(topicOf(group_, MessageType::DCMD, node_, "+"), 1);
    if (ctx_.options.sparkplugHost.empty()) {
      birth();
      return;
    }
    hostOnline_ = false;
    connection_.subscribe(stateTopic(ctx_.options.sparkplugHost), 1);
    log(LogLevel::Info, "MQTT: waiting for primary host " + ctx_.options.sparkplugHost + " to be online");
  }

  void failed(const BrokerEvent& e, Clock::time_point now) {
    connecting_ = false;
    attempts_.failed(e, now);
  }

  void ended() {
    connected_ = false;
    connecting_ = false;
    disconnecting_ = false;
    born_ = false;
    std::fill(deviceBorn_.begin(), deviceBorn_.end(), false);
    for (auto& p : pending_) p.clear();
  }

  void lost(const BrokerEvent& e, Clock::time_point now) {
    ended();
    attempts_.lost(e, now);
  }

  // The end of a session we left because the primary host went offline: back at once.
  void left(Clock::time_point now) {
    if (!disconnecting_) return;
    ended();
    attempts_.retryAt(now);
  }

  // NBIRTH, every DBIRTH of a PLC that works, then what was stored meanwhile.
  void birth() {
    rebirthNeeded_ = false;
    seq_ = 0;
    const WallTime wall = std::chrono::system_clock::now();
    Payload p;
    p.timestamp = toMillis(wall);
    lastNode_ = nodeFigures();
    for (std::size_t i = 0; i < kNodeMetrics; ++i) {
      const auto which = static_cast<NodeMetric>(i);
      Metric m;
      m.name = nodeMetricName(which);
      m.alias = MetricCatalogue::nodeAlias(which);
      m.datatype = nodeMetricType(which);
      m.timestamp = p.timestamp;
      if (which == NodeMetric::BdSeq) m.value = std::uint64_t{bdSeq_};
      else if (which == NodeMetric::Rebirth) m.value = false;
      else m.value = lastNode_[i];
      p.metrics.push_back(std::move(m));
    }
    publish(topicOf(group_, MessageType::NBIRTH, node_), p);
    born_ = true;
    std::fill(deviceBorn_.begin(), deviceBorn_.end(), false);
    for (std::size_t d = 0; d < deviceBorn_.size(); ++d) {
      const PlcDiagnostics diagnostics = plcDiagnostics(d);
      if (!diagnostics.failing) deviceBirth(d, diagnostics, wall);
    }
    for (std::size_t d = 0; d < deviceBorn_.size(); ++d)
      if (deviceBorn_[d]) forwardHistory(d);
  }

  PlcDiagnostics plcDiagnostics(std::size_t plc) const {
    return ctx_.plantView ? ctx_.plantView->diagnostics(plc) : PlcDiagnostics{};
  }

  const std::string& resultText(std::size_t plc, std::uint32_t code) {
    if (code != lastResultCode_[plc]) {
      lastResultCode_[plc] = code;
      resultText_[plc] = code != 0 && ctx_.plantView ? ctx_.plantView->resultText(code) : std::string();
    }
    return resultText_[plc];
  }

  std::vector<MetricValue> nodeFigures() const {
    std::vector<MetricValue> v(kNodeMetrics);
    std::uint64_t failing = 0;
    for (std::size_t p = 0; p < ctx_.plant.plcs.size(); ++p) failing += plcDiagnostics(p).failing ? 1 : 0;
    v[static_cast<std::size_t>(NodeMetric::Plcs)] = std::uint64_t{ctx_.plant.plcs.size()};
    v[static_cast<std::size_t>(NodeMetric::PlcsFailing)] = failing;
    v[static_cast<std::size_t>(NodeMetric::Tags)] = std::uint64_t{ctx_.plant.tags.size()};
    v[static_cast<std::size_t>(NodeMetric::HistoryDropped)] = history_.dropped();
    return v;
  }

  // Every figure and tag of the PLC with its name, alias and current state.
  void deviceBirth(std::size_t plc, const PlcDiagnostics& diagnostics, WallTime wall) {
    Payload p;
    p.timestamp = toMillis(wall);
    std::vector<Metric> figures = diagnosticsMetrics(diagnostics, resultText(plc, diagnostics.lastResultCode), wall);
    lastDiagnostics_[plc].clear();
    for (std::size_t i = 0; i < figures.size(); ++i) {
      figures[i].alias = catalogue_.diagnosticsAlias(plc, i);
      lastDiagnostics_[plc].push_back(figures[i].value);
      p.metrics.push_back(std::move(figures[i]));
    }
    for (std::size_t tag : catalogue_.tagsOf(plc)) {
      const PublishedTag& t = ctx_.plant.tags[tag];
      Metric m = tagMetric(poller_.current(tag).snapshot, t.type, t.readable, wall);
      m.name = catalogue_.tagName(tag);
      m.alias = catalogue_.tagAlias(tag);
      p.metrics.push_back(std::move(m));
    }
    publish(dbirth_[plc], p);
    deviceBorn_[plc] = true;
    pending_[plc].clear();
  }

  void forwardHistory(std::size_t plc) {
    while (!history_.empty(plc)) {
      Payload p;
      p.timestamp = toMillis(std::chrono::system_clock::now());
      p.metrics = history_.take(plc, kHistoryPerMessage);
      publish(ddata_[plc], p);
    }
  }

  bool ready() const { return connected_ && born_; }

  // A change: to this tick's DDATA while the device is born, to the store while no host can
  // take it. A PLC without a device (failing) needs neither: its next DBIRTH says it all.
  void changed(std::size_t plc, Metric metric) {
    if (!ready()) history_.add(plc, std::move(metric));
    else if (deviceBorn_[plc]) pending_[plc].push_back(std::move(metric));
  }

  void sample(Clock::time_point now) {
    const WallTime wall = std::chrono::system_clock::now();
    states_.clear();
    poller_.changes(now, states_);
    for (const TagState& s : states_) {
      const PublishedTag& t = ctx_.plant.tags[s.tag];
      Metric m = tagMetric(s.snapshot, t.type, t.readable, wall);
      m.alias = catalogue_.tagAlias(s.tag);
      changed(t.plc, std::move(m));
    }
    for (std::size_t plc = 0; plc < ctx_.plant.plcs.size(); ++plc) samplePlc(plc, wall);
    if (ready()) sampleNode(wall);
    if (rebirthNeeded_ && ready()) birth();
  }

  void samplePlc(std::size_t plc, WallTime wall) {
    const PlcDiagnostics d = plcDiagnostics(plc);
    if (ready()) {
      if (deviceBorn_[plc] && d.failing) {
        // Its values are no longer valid: hosts mark them stale at once.
        Payload p;
        p.timestamp = toMillis(wall);
        publish(ddeath_[plc], p);
        deviceBorn_[plc] = false;
        pending_[plc].clear();
        return;
      }
      if (!deviceBorn_[plc] && !d.failing) {
        deviceBirth(plc, d, wall);
        forwardHistory(plc);
        return;
      }
    }
    std::vector<Metric> figures = diagnosticsMetrics(d, resultText(plc, d.lastResultCode), wall);
    std::vector<MetricValue>& last = lastDiagnostics_[plc];
    if (last.empty()) {
      // The first look: nothing has changed yet.
      for (const Metric& f : figures) last.push_back(f.value);
    }
    for (std::size_t i = 0; i < figures.size(); ++i) {
      if (figures[i].value == last[i]) continue;
      last[i] = figures[i].value;
      Metric m = std::move(figures[i]);
      m.name.clear();
      m.alias = catalogue_.diagnosticsAlias(plc, i);
      changed(plc, std::move(m));
    }
    if (!pending_[plc].empty() && ready()) {
      Payload p;
      p.timestamp = toMillis(wall);
      p.metrics.swap(pending_[plc]);
      publish(ddata_[plc], p);
      pending_[plc].clear();
    }
  }

  void sampleNode(WallTime wall) {
    const std::vector<MetricValue> now = nodeFigures();
    Payload p;
    p.timestamp = toMillis(wall);
    for (std::size_t i = 0; i < kNodeMetrics; ++i) {
      const auto which = static_cast<NodeMetric>(i);
      if (which == NodeMetric::BdSeq || which == NodeMetric::Rebirth || now[i] == lastNode_[i]) continue;
      Metric m;
      m.alias = MetricCatalogue::nodeAlias(which);
      m.datatype = nodeMetricType(which);
      m.timestamp = p.timestamp;
      m.value = now[i];
      p.metrics.push_back(std::move(m));
    }
    lastNode_ = now;
    if (!p.metrics.empty()) publish(topicOf(group_, MessageType::NDATA, node_), p);
  }

  void arrived(const BrokerEvent& e, Clock::time_point now) {
    if (!ctx_.options.sparkplugHost.empty() && e.topic == stateTopic(ctx_.options.sparkplugHost)) {
      hostState(e, now);
      return;
    }
    // A command left at the broker is an old one, delivered again on every subscription.
    if (e.retained) return;
    const std::optional<Command> command = parseCommandTopic(e.topic, group_, node_);
    if (!command) return;
    if (e.overflow) {
      refusals_.note("MQTT: a Sparkplug command on " + e.topic + " was dropped: too many were waiting", now, ctx_.log);
      return;
    }
    Payload p;
    std::string error;
    if (!decodePayload(e.payload, p, error, DecodeLimits{})) {
      refusals_.note("MQTT: a Sparkplug command on " + e.topic + " was refused: " + error, now, ctx_.log);
      return;
    }
    if (command->type == MessageType::NCMD) nodeCommand(p, now);
    else deviceCommand(command->device, p, now);
  }

  void hostState(const BrokerEvent& e, Clock::time_point now) {
    const std::string& host = ctx_.options.sparkplugHost;
    HostState s;
    std::string error;
    if (!parseHostState(e.payload, s, error)) {
      refusals_.note("MQTT: the STATE of primary host " + host + " cannot be read: " + error, now, ctx_.log);
      return;
    }
    // One older than the last we heard has been overtaken (a retained one, say).
    if (s.timestamp < hostTimestamp_) return;
    hostTimestamp_ = s.timestamp;
    if (s.online) {
      if (!hostOnline_) log(LogLevel::Notice, "MQTT: primary host " + host + " is online");
      hostOnline_ = true;
      if (connected_ && !born_ && !disconnecting_) birth();
      return;
    }
    hostOnline_ = false;
    if (!born_) return;
    // Its data would reach nobody who counts: leave, come back and wait, and keep the
    // changes of the meantime for it.
    log(LogLevel::Notice, "MQTT: primary host " + host + " went offline; the node leaves and waits for it");
    publishDeath();
    born_ = false;
    std::fill(deviceBorn_.begin(), deviceBorn_.end(), false);
    disconnecting_ = true;
    connection_.disconnect(kDisconnectTimeoutMs);
  }

  void nodeCommand(const Payload& p, Clock::time_point now) {
    bool rebirth = false;
    for (const Metric& m : p.metrics) {
      const bool named = m.name == kRebirthName ||
                         (m.name.empty() && m.alias == MetricCatalogue::nodeAlias(NodeMetric::Rebirth));
      const bool* yes = std::get_if<bool>(&m.value);
      if (named && yes) rebirth |= *yes;
      else refusals_.note("MQTT: Sparkplug NCMD metric " + commandName(m) + " is not taken", now, ctx_.log);
    }
    if (!rebirth || !ready()) return;
    log(LogLevel::Info, "MQTT: Sparkplug rebirth asked for by a host");
    birth();
  }

  void deviceCommand(const std::string& device, const Payload& p, Clock::time_point now) {
    const std::optional<std::size_t> plc = catalogue_.plcByName(device);
    if (!plc) {
      refusals_.note("MQTT: a Sparkplug DCMD for \"" + device + "\", which is no PLC of this node, was refused", now,
                     ctx_.log);
      return;
    }
    if (!ctx_.options.write) {
      if (!writesOffLogged_)
        log(LogLevel::Warning, "MQTT: a Sparkplug DCMD for " + device +
                                   " is ignored: writes are off (--mqtt-write on takes them); later ones are not logged");
      writesOffLogged_ = true;
      return;
    }
    for (const Metric& m : p.metrics) {
      std::optional<std::size_t> tag;
      if (m.alias) {
        const auto entry = catalogue_.byAlias(*m.alias);
        if (entry && entry->kind == MetricCatalogue::Kind::Tag && entry->plc == *plc) tag = entry->index;
      } else if (!m.name.empty()) {
        tag = catalogue_.tagByName(*plc, m.name);
      }
      if (!tag) {
        refusals_.note("MQTT: Sparkplug write of " + commandName(m) + " on " + device + " refused: no such tag", now,
                       ctx_.log);
        continue;
      }
      const PublishedTag& t = ctx_.plant.tags[*tag];
      WriteCommand w;
      w.tag = *tag;
      w.status = std::string(toTagValue(m, t.type, t.count, w.value));
      std::vector<WriteAnswer> answers;
      gateway_.take(std::move(w), now, answers);
      for (const WriteAnswer& a : answers) answered(a, now);
    }
  }

  void answerWrites(Clock::time_point now) {
    std::vector<WriteAnswer> answers;
    gateway_.collect(now, answers);
    for (const WriteAnswer& a : answers) answered(a, now);
  }

  // A write the PLC took shows in DDATA once it is read back; a refused one changes nothing.
  void answered(const WriteAnswer& a, Clock::time_point now) {
    if (a.status == "Good" || a.command.tag >= ctx_.plant.tags.size()) return;
    const PublishedTag& t = ctx_.plant.tags[a.command.tag];
    refusals_.note("MQTT: Sparkplug write of " + ctx_.plant.plcs[t.plc] + "/" + catalogue_.tagName(a.command.tag) +
                       " refused: " + a.status,
                   now, ctx_.log);
  }

  void updateFigures() {
    ctx_.figures.connected.store(connected_, std::memory_order_relaxed);
    ctx_.figures.published.store(published_, std::memory_order_relaxed);
    ctx_.figures.buffered.store(history_.count(), std::memory_order_relaxed);
    ctx_.figures.dropped.store(history_.dropped(), std::memory_order_relaxed);
  }

  EngineContext ctx_;
  const std::string group_;
  const std::string node_;
  MetricCatalogue catalogue_;
  TagPoller poller_;
  WriteGateway gateway_;
  BrokerConnection connection_;
  ConnectionAttempts attempts_;
  RefusalLog refusals_;
  HistoryStore history_;
  std::vector<std::string> dbirth_, ddeath_, ddata_;  // per PLC

  std::uint8_t bdSeq_ = 0;
  bool bdSeqUsed_ = false;  // a session has carried bdSeq_: the next one takes the next
  std::uint8_t seq_ = 0;    // wraps from 255 to 0, as Sparkplug's seq does
  bool connected_ = false;
  bool connecting_ = false;
  bool disconnecting_ = false;  // leaving because the primary host went offline
  bool born_ = false;           // NBIRTH sent in this session (and the host online, if any)
  bool rebirthNeeded_ = false;
  bool hostOnline_ = false;
  std::uint64_t hostTimestamp_ = 0;
  bool writesOffLogged_ = false;
  std::vector<bool> deviceBorn_;
  std::vector<std::vector<MetricValue>> lastDiagnostics_;  // per PLC, per figure: as last sent or stored
  std::vector<std::uint32_t> lastResultCode_;
  std::vector<std::string> resultText_;
  std::vector<MetricValue> lastNode_ = std::vector<MetricValue>(kNodeMetrics);
  std::vector<std::vector<Metric>> pending_;  // per PLC: this tick's DDATA
  std::vector<TagState> states_;
  std::uint64_t published_ = 0;
  Clock::time_point nextTick_{};
};

}  // namespace

std::string deviceIdProblem(const std::string& plc) {
  const std::string problem = idProblem(plc);
  return problem.empty() ? problem : "the PLC \"" + plc + "\" cannot be a Sparkplug device: its name " + problem;
}

bool checkPlant(const PublishedPlant& plant, std::string& error) {
  for (const std::string& plc : plant.plcs) {
    error = deviceIdProblem(plc);
    if (!error.empty()) return false;
  }
  return true;
}

std::unique_ptr<PublisherEngine> makeSparkplugEngine(EngineContext context) {
  return std::make_unique<SparkplugEngine>(std::move(context));
}

}  // namespace zentarc::mqtt::sparkplug
