#pragma once
// The MQTT side: publishes every tag (and each PLC's and the server's state) to a broker and
// takes writes back when allowed, as retained JSON topics or as Sparkplug B (the options'
// format picks the engine). It runs on a thread of its own; OPC UA serving never waits on it
// or on the broker. While the broker is away the tags are still polled and what changes is
// kept within a byte budget (the oldest dropped and counted when it is full); the connection
// is tried again after 1 s, doubling up to 30 s.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/mqtt/MqttOptions.h"
#include "server/mqtt/PayloadFormat.h"
#include "server/mqtt/PublisherEngine.h"
#include "server/toolkit/BrokerView.h"
#include "server/toolkit/PlantView.h"
#include "server/toolkit/SODaSCreator.h"

namespace zentarc::mqtt {

class MqttPublisher {
 public:
  // tags: the namespace's tags; plant: the PLCs (may be null: nothing is published);
  // creator: the toolkit's, for the group that polls MQTT's tags.
  MqttPublisher(MqttOptions options, std::vector<SOCmnPointer<SODaSTag>> tags, std::shared_ptr<const PlantView> plant,
                SOCmnPointer<SODaSCreator> creator, LogSink log = {});
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Starts polling and the thread, which connects at once. False with a reason when the
  // options cannot be used; nothing runs then.
  bool start(std::string& error);
  // Says offline, gives what is buffered a few seconds to go out, disconnects, stops polling.
  void stop();

  // The figures, for the OPC UA diagnostics and the status window; lives as long as anyone
  // holds it.
  std::shared_ptr<const BrokerView> view() const;
  const PublishedPlant& plant() const { return plant_; }

 private:
  void wake();
  void pause(std::chrono::milliseconds limit);

  const MqttOptions options_;
  const std::shared_ptr<const PlantView> plantView_;
  const SOCmnPointer<SODaSCreator> creator_;
  const LogSink log_;
  PublishedPlant plant_;
  std::shared_ptr<PublisherFigures> figures_;
  BrokerAddress address_;
  std::unique_ptr<PublisherEngine> engine_;
  std::mutex mutex_;
  std::condition_variable wakeUp_;
  bool woken_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace zentarc::mqtt
