#pragma once
// What the server sends, decoded by the Sparkplug decoder from npm (tests/integration/
// sparkplug/decoder.js over sparkplug-payload), for tests against a real broker: nothing
// the team wrote reads the payloads these tests check.
#include <string>
#include <vector>

#include "server/mqtt/JsonText.h"
#include "tests/support/MqttBroker.h"

namespace zentarc::testsupport {

struct SparkplugMessage {
  std::string topic;
  std::string type;  // NBIRTH, DDATA, ...: the topic's third level
  std::string device;  // DBIRTH, DDEATH, DDATA: the topic's fifth level
  mqtt::json::Value payload;  // as decoder.js gives it; {"error": ...} when it could not
  bool retained = false;
};

// Decodes every message in one run of the decoder (at most 30 s).
std::vector<SparkplugMessage> decodeSparkplug(const std::vector<ReceivedMessage>& messages);

// A decoded payload's metric by name or alias (null when it has none such).
const mqtt::json::Value* metricNamed(const mqtt::json::Value& payload, const std::string& name);
const mqtt::json::Value* metricWithAlias(const mqtt::json::Value& payload, double alias);
// A member of a decoded metric or payload as a number (NaN when it is none).
double number(const mqtt::json::Value& object, const std::string& member);

}  // namespace zentarc::testsupport
