#pragma once
// What runs one payload format's session on the publisher's thread: the JSON topics or
// Sparkplug B. The publisher owns the thread, the figures and the wake-ups; an engine owns
// the connection, the polling, the writes and what it keeps while the broker is away.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "server/mqtt/MqttOptions.h"
#include "server/mqtt/PayloadFormat.h"
#include "server/toolkit/BrokerView.h"
#include "server/toolkit/SODaSCreator.h"

namespace zentarc::mqtt {

enum class LogLevel { Error, Warning, Notice, Info };
using LogSink = std::function<void(LogLevel, const std::string&)>;

// The figures an engine keeps up to date, read from any thread.
class PublisherFigures : public BrokerView {
 public:
  explicit PublisherFigures(std::string url) : url_(std::move(url)) {}
  BrokerFigures figures() const override;
  void setLastError(std::string text);

  std::atomic<bool> connected{false};
  std::atomic<std::uint64_t> published{0}, buffered{0}, dropped{0};

 private:
  const std::string url_;
  mutable std::mutex mutex_;
  std::string lastError_;
};

// What the publisher lends an engine; all of it outlives the engine.
struct EngineContext {
  const MqttOptions& options;
  const BrokerAddress& address;
  const PublishedPlant& plant;
  const PlantView* plantView;  // null: no PLC figures
  const LogSink& log;
  PublisherFigures& figures;
  std::function<void()> wake;                          // any thread: run a turn soon
  std::function<void(std::chrono::milliseconds)> pause;  // the thread: wait for a wake-up, at most this
};

class PublisherEngine {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~PublisherEngine() = default;

  // Makes the connection's client; false with a reason.
  virtual bool create(std::string& error) = 0;
  virtual void startPolling(SOCmnPointer<SODaSCreator> creator) = 0;
  virtual void stopPolling() = 0;
  // One turn of the thread; returns when it wants to run again.
  virtual Clock::time_point turn(Clock::time_point now) = 0;
  // The orderly goodbye, on the thread, as it ends.
  virtual void finish() = 0;
};

}  // namespace zentarc::mqtt
