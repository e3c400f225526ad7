// Writes over MQTT against a real mosquitto and simulated PLCs: answered Good only once the
// PLC acknowledged, refused with the reason otherwise, and never carried out when writes are
// off or when the request is an old retained one.
#include <gtest/gtest.h>

#include "tests/mqtt/MqttRig.h"
#include "tests/mqtt/MqttTestTags.h"
#include "server/mqtt/BrokerConnection.h"
#include "tests/support/WaitFor.h"

namespace {

using namespace zentarc;
using namespace zentarc::testsupport;
using std::chrono::milliseconds;

std::string setTopic(const std::string& tag) { return MqttRig::topic("Line1", tag) + "/set"; }
std::string resultTopic(const std::string& tag) { return setTopic(tag) + "/result"; }

// The answer on the tag's result topic that carries this id.
std::optional<ReceivedMessage> answer(const MqttTestClient& client, const std::string& tag, const std::string& id,
                                      milliseconds limit = milliseconds(10000)) {
  std::optional<ReceivedMessage> found;
  client.waitForMessage(
      resultTopic(tag),
      [&](const ReceivedMessage& m) {
        if (member(m.payload, "id") != id) return false;
        found = m;
        return true;
      },
      limit);
  return found;
}

std::string statusOf(const std::optional<ReceivedMessage>& m) { return m ? member(m->payload, "status") : "(no answer)"; }

const std::string kTags = tagXmlWith("Setpoint", "VT_I2", 1, "READWRITE") + tagXmlWith("Limit", "VT_I2", 2, "READ") +
                          tagXmlWith("Pair", "VT_UI2 ARRAY", 3, "READWRITE", 2) +
                          tagXmlWith("Other", "VT_I2", 10, "READWRITE") +
                          tagXmlWith("Name", "VT_BSTR", 20, "READWRITE", 4);

// Once the publisher's subscription is in place (it is made after connecting, unseen by the
// client): a request to a tag that does not exist is answered.
bool writesTaken(MqttTestClient& client) {
  for (int i = 0; i < 50; ++i) {
    const std::string id = "\"probe" + std::to_string(i) + "\"";
    if (!client.publish(setTopic("Probe"), "{\"value\": 0, \"id\": " + id + "}")) return false;
    if (answer(client, "Probe", id, milliseconds(200))) return true;
  }
  return false;
}

// A PLC with kTags, the publisher with writes on, and a client that reads the answers.
struct WriteRig {
  WriteRig(const std::string& brokerAddress, const std::string& plcAddress, plcsim::Faults faults = {})
      : rig(brokerAddress) {
    EXPECT_TRUE(rig.plc.load(plcXml("Line1", plcAddress, kTags)));
    sim = &rig.plc.simulate(plcAddress, faults);
    rig.startBroker();
    mqtt::MqttOptions o = rig.options();
    o.write = true;
    EXPECT_TRUE(rig.startPublisher(o));
    EXPECT_TRUE(rig.waitConnected());
    client = rig.subscriber("opczentarc/test/Line1/+/set/result");
    EXPECT_TRUE(writesTaken(*client));
  }
  MqttRig rig;
  plcsim::Simulator* sim = nullptr;
  std::unique_ptr<MqttTestClient> client;
};

TEST(MqttWrite, allowedWrites_areAnsweredGoodOnlyAfterThePlcAcknowledged) {
  WriteRig w("127.0.22.6", "127.0.22.107", {.delayMs = 400});
  auto& sim = *w.sim;
  auto& client = w.client;

  const auto sent = std::chrono::system_clock::now();
  ASSERT_TRUE(client->publish(setTopic("Setpoint"), R"({"value": 1500, "id": "w1"})"));
  const auto good = answer(*client, "Setpoint", "\"w1\"");
  ASSERT_EQ(statusOf(good), "\"Good\"");
  // By the time the answer arrived the PLC held the value; the PLC answers 400 ms late.
  EXPECT_EQ(sim.registerValue(0), 1500);
  EXPECT_GE(good->at - sent, milliseconds(350));
  EXPECT_FALSE(good->retained);

  // A bare value, and an array.
  ASSERT_TRUE(client->publish(setTopic("Setpoint"), "-3"));
  EXPECT_TRUE(client->waitForMessage(resultTopic("Setpoint"), [](const ReceivedMessage& m) {
    return member(m.payload, "id") == "(none)" && member(m.payload, "status") == "\"Good\"";
  }));
  EXPECT_EQ(static_cast<std::int16_t>(sim.registerValue(0)), -3);
  ASSERT_TRUE(client->publish(setTopic("Pair"), R"({"value": [7, 65535], "id": 2})"));
  EXPECT_EQ(statusOf(answer(*client, "Pair", "2")), "\"Good\"");
  EXPECT_EQ(sim.registers(2, 2), (std::vector<std::uint16_t>{7, 65535}));

  // A PLC that refuses the write: the answer says so, and nothing changed.
  sim.setFaults({.refuseWrites = true});
  ASSERT_TRUE(client->publish(setTopic("Setpoint"), R"({"value": 1600, "id": "w2"})"));
  const std::string refused = statusOf(answer(*client, "Setpoint", "\"w2\""));
  EXPECT_NE(refused, "\"Good\"");
  EXPECT_EQ(refused.substr(0, 4), "\"Bad");
  EXPECT_EQ(static_cast<std::int16_t>(sim.registerValue(0)), -3);
}

TEST(MqttWrite, readOnlyMalformedAndUnknown_areRefusedAndNothingIsWritten) {
  WriteRig w("127.0.22.7", "127.0.22.108");
  auto& sim = *w.sim;
  auto& client = w.client;

  struct Case {
    std::string tag, payload, id, status;
  };
  const Case cases[] = {
      {"Limit", R"({"value": 5, "id": 1})", "1", "\"BadNotWritable\""},
      {"Setpoint", R"({"value": 5, "id": 2)", "(none)", "\"BadDecodingError\""},
      {"Setpoint", R"({"id": 3})", "3", "\"BadDecodingError\""},
      {"Setpoint", R"({"value": "high", "id": 4})", "4", "\"BadTypeMismatch\""},
      {"Setpoint", R"({"value": 70000, "id": 5})", "5", "\"BadOutOfRange\""},
      {"Setpoint", R"({"value": 1.5, "id": 6})", "6", "\"BadTypeMismatch\""},
      {"Pair", R"({"value": [1, 2, 3], "id": 7})", "7", "\"BadTypeMismatch\""},
      {"Nothing", R"({"value": 1, "id": 8})", "8", "\"BadNodeIdUnknown\""},
      {"Name", R"({"value": "abcdefgh", "id": 9})", "9", "\"BadOutOfRange\""},  // longer than its 4 characters
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(client->publish(setTopic(c.tag), c.payload));
    const auto m = answer(*client, c.tag, c.id);  // "(none)": the answer without an id
    EXPECT_EQ(statusOf(m), c.status) << c.tag << " " << c.payload;
  }
  EXPECT_EQ(sim.stats().writes, 0u);
}

// More writes than may wait for a slow PLC: the rest are answered at once, none is lost.
TEST(MqttWrite, aFloodOfWrites_isAnsweredNotQueuedWithoutBound) {
  WriteRig w("127.0.22.14", "127.0.22.115", {.delayMs = 300});
  auto& client = w.client;
  client->clear();
  constexpr int kWrites = 400;
  for (int i = 0; i < kWrites; ++i)
    ASSERT_TRUE(client->publish(setTopic(i % 2 ? "Setpoint" : "Other"),
                                "{\"value\": " + std::to_string(i) + ", \"id\": " + std::to_string(i) + "}", false, 0));
  ASSERT_TRUE(client->waitFor([](const auto& all) { return all.size() >= kWrites; }, milliseconds(60000)))
      << client->messages().size();
  std::size_t good = 0, busy = 0;
  for (const auto& m : client->messages()) {
    good += member(m.payload, "status") == "\"Good\"";
    busy += member(m.payload, "status") == "\"BadTooManyOperations\"";
  }
  EXPECT_EQ(good + busy, static_cast<std::size_t>(kWrites));
  EXPECT_GE(good, 100u);
  EXPECT_GT(busy, 0u);
}

// The tests' MQTT client (Paho) serves all its clients in a process from one receiving
// thread, which learns of a client's connection late when another connected before it: the
// test's clients connect after the publisher, as the consumers of a real server would.
TEST(MqttWrite, writesSwitchedOffOrLeftRetained_areNeverCarriedOut) {
  MqttRig rig("127.0.22.8");
  ASSERT_TRUE(rig.plc.load(plcXml("Line1", "127.0.22.109", kTags)));
  auto& sim = rig.plc.simulate("127.0.22.109");
  rig.startBroker();
  {
    // A write somebody left retained at the broker: a publisher subscribing finds it, and
    // must not carry it out (it would, on every connection).
    MqttTestClient old(rig.broker->pahoUri(), "old");
    ASSERT_TRUE(old.connect());
    ASSERT_TRUE(old.publish(setTopic("Setpoint"), R"({"value": 111, "id": "old"})", true));
    old.disconnect();
  }
  mqtt::MqttOptions o = rig.options();
  o.write = true;
  ASSERT_TRUE(rig.startPublisher(o));
  ASSERT_TRUE(rig.waitConnected());
  auto client = rig.subscriber("opczentarc/test/Line1/+/set/result");
  // The retained request comes first on a new subscription: once a later one is answered, it
  // was seen.
  ASSERT_TRUE(writesTaken(*client));
  EXPECT_FALSE(answer(*client, "Setpoint", "\"old\"", milliseconds(0)));
  EXPECT_EQ(sim.registerValue(0), 0);
  ASSERT_TRUE(client->publish(setTopic("Setpoint"), "", true));  // the retained one goes
  client.reset();

  // The same node again with writes off: the broker kept the session and its subscription,
  // yet nothing is written and nothing answered.
  rig.stopPublisher();
  o.write = false;
  ASSERT_TRUE(rig.startPublisher(o));
  ASSERT_TRUE(rig.waitConnected());
  client = rig.subscriber("opczentarc/test/Line1/+/set/result", "after");
  const std::uint64_t writes = sim.stats().writes;
  ASSERT_TRUE(client->publish(setTopic("Setpoint"), R"({"value": 222, "id": "off"})"));
  EXPECT_FALSE(answer(*client, "Setpoint", "\"off\"", milliseconds(2000)));
  EXPECT_EQ(sim.stats().writes, writes);
  EXPECT_EQ(sim.registerValue(0), 0);
}

// Incoming messages nobody has taken yet are bounded: past the bound only their topics stay,
// except the one topic whose small payload must never be lost (a primary host's state).
TEST(BrokerConnection, aFloodOfIncomingMessagesKeepsOnlyTopics_butTheKeptTopicWhole) {
  MqttRig rig("127.0.22.18");
  rig.startBroker();
  std::atomic<std::size_t> wakes{0};
  mqtt::BrokerSettings settings;
  settings.host = rig.broker->setup().address;
  settings.port = rig.broker->setup().port;
  settings.clientId = "flooded";
  settings.cleanSession = true;
  settings.keepWholeTopic = "host/STATE";
  settings.will = {"flooded/state", "offline", true, 1};
  mqtt::BrokerConnection connection(settings, [&] { ++wakes; });
  std::string error;
  ASSERT_TRUE(connection.create(error)) << error;
  connection.connect();
  const auto taken = [&](const std::function<bool(const mqtt::BrokerEvent&)>& match) {
    return waitFor([&] {
      for (const auto& e : connection.takeEvents())
        if (match(e)) return true;
      return false;
    }, milliseconds(10000));
  };
  ASSERT_TRUE(taken([](const auto& e) { return e.kind == mqtt::BrokerEvent::Kind::Connected; }));
  auto sender = rig.subscriber("nothing/here", "sender");
  // The subscriptions are in place once a retained message comes back through the last one.
  ASSERT_TRUE(sender->publish("flood/probe", "x", true));
  connection.subscribe("host/STATE", 1);
  connection.subscribe("flood/#", 1);
  ASSERT_TRUE(taken([](const auto& e) { return e.topic == "flood/probe"; }));

  const std::size_t flood = mqtt::BrokerEventQueue::kMaxWaitingMessages + 100;
  const std::string payload(100, 'p');
  wakes = 0;
  for (std::size_t i = 0; i < flood; ++i) ASSERT_TRUE(sender->publish("flood/" + std::to_string(i), payload, false, 0));
  ASSERT_TRUE(sender->publish("host/STATE", R"({"online": true})"));
  ASSERT_TRUE(waitFor([&] { return wakes.load() >= flood + 1; }, milliseconds(20000))) << wakes.load();

  std::size_t whole = 0, topicsOnly = 0;
  bool stateKept = false;
  for (const auto& e : connection.takeEvents()) {
    if (e.kind != mqtt::BrokerEvent::Kind::Message) continue;
    if (e.topic == "host/STATE") {
      stateKept = e.payload == R"({"online": true})" && !e.overflow;
      continue;
    }
    if (e.overflow && e.payload.empty()) ++topicsOnly;
    else if (e.payload == payload) ++whole;
  }
  EXPECT_EQ(whole, mqtt::BrokerEventQueue::kMaxWaitingMessages);
  EXPECT_EQ(topicsOnly, 100u);
  EXPECT_TRUE(stateKept);
}

}  // namespace
