#pragma once
// The MQTT side in a test: the server core on simulated PLCs (PollingHarness), a real
// mosquitto on a loopback address of the test's own, the publisher between them, and
// subscribers that read what arrives as JSON.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/mqtt/JsonText.h"
#include "server/mqtt/MqttPublisher.h"
#include "tests/integration/PollingHarness.h"
#include "tests/support/MqttBroker.h"

namespace zentarc::testsupport {

class MqttRig {
 public:
  // brokerAddress: a loopback address no other test uses.
  explicit MqttRig(std::string brokerAddress);
  ~MqttRig();

  // The broker, plain or as set up; started.
  void startBroker(BrokerSetup setup = {});
  // Options for the publisher: this broker, node "test", a 500 ms rate.
  mqtt::MqttOptions options() const;
  // Starts polling (once) and the publisher; false with the reason.
  bool startPublisher(mqtt::MqttOptions options, std::string* error = nullptr);
  void stopPublisher();
  bool waitConnected(bool connected = true, int timeoutMs = 10000) const;
  BrokerFigures figures() const;
  std::vector<std::string> log() const;
  std::size_t logLines(const std::string& containing) const;

  // A client connected to the broker and subscribed to `filter` (QoS 1).
  std::unique_ptr<MqttTestClient> subscriber(const std::string& filter = "#", const std::string& id = "");

  // "opczentarc/test/<plc>/<tag>", the levels encoded.
  static std::string topic(const std::string& plc, const std::string& tag);

  PollingHarness plc;
  std::unique_ptr<MosquittoBroker> broker;
  std::unique_ptr<mqtt::MqttPublisher> publisher;

 private:
  std::string address_;
  bool polling_ = false;
  mutable std::mutex logMutex_;
  std::vector<std::string> log_;
  int clients_ = 0;
};

// The payload as JSON (a Null value for a payload that is not JSON).
mqtt::json::Value payloadJson(const std::string& payload);
// Member `name` of the payload, written as JSON ("(none)" when absent).
std::string member(const std::string& payload, const std::string& name);

}  // namespace zentarc::testsupport
