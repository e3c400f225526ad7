#include "tests/mqtt/MqttRig.h"

#include <gtest/gtest.h>

#include "server/mqtt/TopicNames.h"
#include "server/opc/ServerCreator.h"
#include "server/plc/DevicePlantView.h"

namespace zentarc::testsupport {

MqttRig::MqttRig(std::string brokerAddress) : address_(std::move(brokerAddress)) {}

MqttRig::~MqttRig() {
  stopPublisher();
  plc.stop();
}

void MqttRig::startBroker(BrokerSetup setup) {
  setup.address = address_;
  broker = std::make_unique<MosquittoBroker>(setup);
  std::string error;
  ASSERT_TRUE(broker->start(&error)) << error;
}

mqtt::MqttOptions MqttRig::options() const {
  mqtt::MqttOptions o;
  o.url = broker ? broker->url() : "mqtt://" + address_;
  o.node = "test";
  o.rateMs = 500;
  return o;
}

bool MqttRig::startPublisher(mqtt::MqttOptions options, std::string* error) {
  if (!polling_) {
    plc.start();
    polling_ = true;
  }
  auto view = std::make_shared<DevicePlantView>(plc.devices, nullptr);
  SOCmnPointer<SODaSCreator> creator(new ServerCreator(plc.queues));
  publisher = std::make_unique<mqtt::MqttPublisher>(
      std::move(options), plc.root->getTags(), view, creator, [this](mqtt::LogLevel, const std::string& line) {
        std::lock_guard g(logMutex_);
        log_.push_back(line);
      });
  std::string why;
  const bool ok = publisher->start(why);
  if (error) *error = why;
  return ok;
}

void MqttRig::stopPublisher() {
  if (publisher) publisher->stop();
  publisher.reset();
}

BrokerFigures MqttRig::figures() const { return publisher ? publisher->view()->figures() : BrokerFigures{}; }

bool MqttRig::waitConnected(bool connected, int timeoutMs) const {
  return waitUntil([&] { return figures().connected == connected; }, timeoutMs);
}

std::vector<std::string> MqttRig::log() const {
  std::lock_guard g(logMutex_);
  return log_;
}

std::size_t MqttRig::logLines(const std::string& containing) const {
  std::size_t n = 0;
  for (const auto& line : log()) n += line.find(containing) != std::string::npos ? 1 : 0;
  return n;
}

std::unique_ptr<MqttTestClient> MqttRig::subscriber(const std::string& filter, const std::string& id) {
  auto client = std::make_unique<MqttTestClient>(broker->pahoUri(),
                                                 id.empty() ? "sub-" + std::to_string(++clients_) : id);
  EXPECT_TRUE(client->connect());
  EXPECT_TRUE(client->subscribe(filter));
  return client;
}

std::string MqttRig::topic(const std::string& plcName, const std::string& tag) {
  return "opczentarc/test/" + mqtt::encodeTopicLevel(plcName) + "/" + mqtt::encodeTopicLevel(tag);
}

mqtt::json::Value payloadJson(const std::string& payload) {
  mqtt::json::Value v;
  std::string error;
  mqtt::json::parse(payload, v, error);
  return v;
}

std::string member(const std::string& payload, const std::string& name) {
  const mqtt::json::Value v = payloadJson(payload);
  const mqtt::json::Value* m = v.member(name);
  return m ? mqtt::json::serialize(*m) : "(none)";
}

}  // namespace zentarc::testsupport
