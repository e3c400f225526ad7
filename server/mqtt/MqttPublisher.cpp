#include "server/mqtt/MqttPublisher.h"

#include <fstream>

#include "server/mqtt/JsonEngine.h"
#include "server/mqtt/sparkplug/SparkplugEngine.h"

namespace zentarc::mqtt {

namespace {

using Clock = std::chrono::steady_clock;

bool readable(const std::string& path, std::string& error, const char* what) {
  std::ifstream f(path);
  if (f) return true;
  error = std::string("the MQTT ") + what + " \"" + path + "\" cannot be read";
  return false;
}

}  // namespace

BrokerFigures PublisherFigures::figures() const {
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

void PublisherFigures::setLastError(std::string text) {
  std::lock_guard g(mutex_);
  lastError_ = std::move(text);
}

MqttPublisher::MqttPublisher(MqttOptions options, std::vector<SOCmnPointer<SODaSTag>> tags,
                             std::shared_ptr<const PlantView> plant, SOCmnPointer<SODaSCreator> creator, LogSink log)
    : options_(std::move(options)),
      plantView_(std::move(plant)),
      creator_(std::move(creator)),
      log_(std::move(log)),
      plant_(collectPlant(tags, plantView_.get())),
      figures_(std::make_shared<PublisherFigures>(options_.url)) {}

MqttPublisher::~MqttPublisher() { stop(); }

std::shared_ptr<const BrokerView> MqttPublisher::view() const { return figures_; }

bool MqttPublisher::start(std::string& error) {
  if (engine_) return true;
  if (!checkOptions(options_, error)) return false;
  for (const auto& [path, what] : {std::pair{options_.caFile, "CA file"}, std::pair{options_.certFile, "certificate"},
                                   std::pair{options_.keyFile, "key"}})
    if (!path.empty() && !readable(path, error, what)) return false;
  if (options_.format == Format::Sparkplug && !sparkplug::checkPlant(plant_, error)) return false;
  parseBrokerUrl(options_.url, address_, error);
  EngineContext context{options_, address_, plant_, plantView_.get(), log_, *figures_, [this] { wake(); },
                        [this](std::chrono::milliseconds limit) { pause(limit); }};
  std::unique_ptr<PublisherEngine> engine = options_.format == Format::Sparkplug
                                                ? sparkplug::makeSparkplugEngine(std::move(context))
                                                : makeJsonEngine(std::move(context));
  if (!engine->create(error)) return false;
  engine->startPolling(creator_);
  engine_ = std::move(engine);
  if (log_)
    log_(LogLevel::Info, "MQTT: publishing " + std::to_string(plant_.tags.size()) + " tags of " +
                             std::to_string(plant_.plcs.size()) + " PLCs to " + options_.url + " every " +
                             std::to_string(options_.rateMs) + " ms as " + formatName(options_.format) + ", writes " +
                             (options_.write ? "on" : "off"));
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

void MqttPublisher::pause(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  wakeUp_.wait_for(lock, limit, [this] { return woken_; });
  woken_ = false;
}

}  // namespace zentarc::mqtt
