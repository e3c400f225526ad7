// The MQTT side against a real mosquitto and simulated PLCs: values and statuses, the
// broker's retained state after every (re)connection, a PLC failing and recovering, odd
// names, TLS with a client certificate, users, and socket numbers past select()'s reach.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

#include "tests/mqtt/MqttRig.h"
#include "tests/mqtt/MqttTestTags.h"

namespace {

using namespace zentarc;
using namespace zentarc::testsupport;
using std::chrono::milliseconds;

// The latest message on the topic holds this value with this status.
bool holds(const MqttTestClient& client, const std::string& topic, const std::string& value,
           const std::string& status = "\"Good\"", milliseconds limit = milliseconds(10000)) {
  return client.waitForMessage(
      topic, [&](const ReceivedMessage& m) { return member(m.payload, "value") == value && member(m.payload, "status") == status; },
      limit);
}

TEST(MqttPublish, valuesStatusesAndRetainedState_afterEveryConnection) {
  MqttRig rig("127.0.22.1");
  ASSERT_TRUE(rig.plc.load(plcXml("Line1", "127.0.22.101",
                                  tagXmlWith("Setpoint", "VT_I2", 1, "READWRITE") +
                                      tagXmlWith("Level", "VT_R4", 2, "READ") +
                                      tagXmlWith("Recipe", "VT_BSTR", 10, "READ", 6) +
                                      tagXmlWith("Speeds", "VT_UI2 ARRAY", 20, "READ", 3) +
                                      tagXmlWith("Command", "VT_UI2", 30, "WRITE"))));
  auto& sim = rig.plc.simulate("127.0.22.101");
  sim.setRegister(0, static_cast<std::uint16_t>(-7));
  sim.setRegisters(1, {0x3FC0, 0x0000});                 // 1.5
  sim.setRegisters(9, {0x494D, 0x2D58, 0x0041});         // "MIX-A" and a NUL
  sim.setRegisters(19, {10, 20, 30});
  rig.startBroker();
  std::string error;
  ASSERT_TRUE(rig.startPublisher(rig.options(), &error)) << error;
  ASSERT_TRUE(rig.waitConnected());

  auto a = rig.subscriber("opczentarc/test/#");
  EXPECT_TRUE(holds(*a, rig.topic("Line1", "Setpoint"), "-7"));
  EXPECT_TRUE(holds(*a, rig.topic("Line1", "Level"), "1.5"));
  EXPECT_TRUE(holds(*a, rig.topic("Line1", "Recipe"), "\"MIX-A\""));
  EXPECT_TRUE(holds(*a, rig.topic("Line1", "Speeds"), "[10,20,30]"));
  EXPECT_TRUE(holds(*a, rig.topic("Line1", "Command"), "null", "\"BadNotReadable\""));
  EXPECT_TRUE(a->waitForMessage("opczentarc/test/$state", [](const ReceivedMessage& m) { return m.payload == "online"; }));
  EXPECT_TRUE(a->waitForMessage("opczentarc/test/Line1/$state",
                                [](const ReceivedMessage& m) { return member(m.payload, "state") == "\"working\""; }));

  // A change goes out once, with the time it was read.
  const auto before = std::chrono::system_clock::now();
  sim.setRegister(0, 99);
  ASSERT_TRUE(holds(*a, rig.topic("Line1", "Setpoint"), "99"));
  const auto changed = a->last(rig.topic("Line1", "Setpoint"));
  const auto readAt = timestampOf(changed->payload);
  EXPECT_GE(readAt, before - milliseconds(600));  // when the PLC was read, at most a poll early
  EXPECT_LE(readAt, changed->at);
  std::this_thread::sleep_for(milliseconds(1200));  // two more polls of an unchanged value
  std::size_t nines = 0;
  for (const auto& m : a->messagesOn(rig.topic("Line1", "Setpoint"))) nines += member(m.payload, "value") == "99";
  EXPECT_EQ(nines, 1u);

  // Somebody subscribing later finds every tag's state retained at the broker.
  auto late = rig.subscriber("opczentarc/test/Line1/+");
  EXPECT_TRUE(late->waitForMessage(rig.topic("Line1", "Setpoint"), [](const ReceivedMessage& m) {
    return m.retained && member(m.payload, "value") == "99";
  }));

  // The broker goes and comes back without its retained messages: the publisher connects
  // again and puts every state back.
  rig.broker->stop();
  ASSERT_TRUE(rig.waitConnected(false));
  rig.broker->start(&error);
  ASSERT_TRUE(rig.waitConnected(true, 15000)) << error;
  auto fresh = rig.subscriber("opczentarc/test/#");
  EXPECT_TRUE(fresh->waitForMessage(rig.topic("Line1", "Recipe"), [](const ReceivedMessage& m) {
    return m.retained && member(m.payload, "value") == "\"MIX-A\"";
  }));
  EXPECT_TRUE(fresh->waitForMessage(rig.topic("Line1", "Setpoint"),
                                    [](const ReceivedMessage& m) { return member(m.payload, "value") == "99"; }));
  EXPECT_TRUE(fresh->waitForMessage("opczentarc/test/$state", [](const ReceivedMessage& m) { return m.retained && m.payload == "online"; }));
  EXPECT_EQ(rig.logLines("MQTT: connected to"), 2u);
  EXPECT_EQ(rig.logLines("MQTT: disconnected from"), 1u);
  EXPECT_GT(rig.figures().published, 10u);
}

TEST(MqttPublish, failingPlc_publishesNullWithItsBadStatus_thenValuesAgain) {
  MqttRig rig("127.0.22.2");
  ASSERT_TRUE(rig.plc.load(plcXml("Line2", "127.0.22.102", tagXmlWith("Counter", "VT_UI2", 1, "READ")) +
                           plcXml("Line3", "127.0.22.103", tagXmlWith("Other", "VT_UI2", 1, "READ"))));
  auto& sim = rig.plc.simulate("127.0.22.102");
  rig.plc.simulate("127.0.22.103").setRegister(0, 5);
  sim.setRegister(0, 41);
  rig.startBroker();
  ASSERT_TRUE(rig.startPublisher(rig.options()));
  auto s = rig.subscriber("opczentarc/test/#");
  ASSERT_TRUE(holds(*s, rig.topic("Line2", "Counter"), "41"));

  sim.stop();
  EXPECT_TRUE(holds(*s, rig.topic("Line2", "Counter"), "null", "\"BadCommunicationError\""));
  EXPECT_TRUE(s->waitForMessage("opczentarc/test/Line2/$state", [](const ReceivedMessage& m) {
    return member(m.payload, "connected") == "false" && member(m.payload, "state") != "\"working\"" &&
           member(m.payload, "lastResultCode") != "0";
  }));
  // The other PLC's tag is untouched.
  for (const auto& m : s->messagesOn(rig.topic("Line3", "Other")))
    EXPECT_NE(member(m.payload, "status"), "\"BadCommunicationError\"");

  sim.setRegister(0, 42);
  ASSERT_TRUE(sim.start());
  EXPECT_TRUE(holds(*s, rig.topic("Line2", "Counter"), "42", "\"Good\"", milliseconds(20000)));
  EXPECT_TRUE(s->waitForMessage("opczentarc/test/Line2/$state", [](const ReceivedMessage& m) {
    return member(m.payload, "state") == "\"working\"" && member(m.payload, "connected") == "true" &&
           member(m.payload, "cpu") == "\"run, outputs enabled\"";
  }));
}

// A tag OPC UA polls faster: one block at OPC UA's rate, and MQTT still reports at its own.
TEST(MqttPublish, sharesTheBlocksOpcUaPolls_andReportsAtItsOwnRate) {
  MqttRig rig("127.0.22.13");
  ASSERT_TRUE(rig.plc.load(plcXml("Line1", "127.0.22.114",
                                  tagXmlWith("Fast", "VT_UI2", 1, "READ") + tagXmlWith("Slow", "VT_UI2", 2, "READ"))));
  rig.plc.simulate("127.0.22.114").addAnimation({.kind = plcsim::Animation::Kind::Counter, .first = 0, .last = 1});
  rig.startBroker();
  SOCmnPointer<SODaSGroup> ua = rig.plc.group("ua", 100);
  SOCmnPointer<SODaSItem> item = rig.plc.activate(*ua, "Fast");
  ASSERT_TRUE(rig.startPublisher(rig.options()));  // 500 ms
  auto s = rig.subscriber("opczentarc/test/Line1/+");
  ASSERT_TRUE(waitUntil([&] { return rig.plc.blockRate("Slow") == 500; }));
  EXPECT_EQ(rig.plc.blockRate("Fast"), 100u);
  EXPECT_EQ(rig.plc.blockCount(0), 2u);  // one per rate, each tag in one

  const std::uint64_t changes0 = rig.plc.tag("Fast")->cache().getChangeCount();
  s->clear();
  std::this_thread::sleep_for(milliseconds(3000));
  const std::uint64_t changes = rig.plc.tag("Fast")->cache().getChangeCount() - changes0;
  const std::size_t fast = s->messagesOn(rig.topic("Line1", "Fast")).size();
  const std::size_t slow = s->messagesOn(rig.topic("Line1", "Slow")).size();
  EXPECT_GT(changes, 20u);  // polled every 100 ms for OPC UA
  EXPECT_GE(fast, 5u);
  EXPECT_LE(fast, 8u);      // reported every 500 ms
  EXPECT_GE(slow, 5u);
  EXPECT_LE(slow, 8u);
  ua->removeItem(item.get());
}

TEST(MqttPublish, oddNames_eachStayOneTopicLevel) {
  MqttRig rig("127.0.22.3");
  ASSERT_TRUE(rig.plc.load(plcXml("Odd/Line", "127.0.22.104",
                                  tagXmlWith("a/b", "VT_UI2", 1, "READ") + tagXmlWith("x+y#z", "VT_UI2", 2, "READ") +
                                      tagXmlWith("$state", "VT_UI2", 3, "READ") +
                                      tagXmlWith("100%", "VT_UI2", 4, "READ"))));
  auto& sim = rig.plc.simulate("127.0.22.104");
  sim.setRegisters(0, {1, 2, 3, 4});
  rig.startBroker();
  ASSERT_TRUE(rig.startPublisher(rig.options()));
  auto s = rig.subscriber("opczentarc/test/+/+");
  EXPECT_TRUE(holds(*s, "opczentarc/test/Odd%2FLine/a%2Fb", "1"));
  EXPECT_TRUE(holds(*s, "opczentarc/test/Odd%2FLine/x%2By%23z", "2"));
  EXPECT_TRUE(holds(*s, "opczentarc/test/Odd%2FLine/%24state", "3"));
  EXPECT_TRUE(holds(*s, "opczentarc/test/Odd%2FLine/100%25", "4"));
  // The PLC's own state keeps its topic.
  EXPECT_TRUE(s->waitForMessage("opczentarc/test/Odd%2FLine/$state",
                                [](const ReceivedMessage& m) { return member(m.payload, "state") != "(none)"; }));
}

TEST(MqttPublish, tls_withTheBrokersCaAndAClientCertificate) {
  MqttRig rig("127.0.22.4");
  TempDir pki;
  std::string error;
  ASSERT_TRUE(makeTlsMaterial(pki, "127.0.22.4", &error)) << error;
  ASSERT_TRUE(rig.plc.load(plcXml("Line1", "127.0.22.105", tagXmlWith("Value", "VT_UI2", 1, "READ"))));
  rig.plc.simulate("127.0.22.105").setRegister(0, 314);
  BrokerSetup setup;
  setup.port = 18832;
  setup.certFile = pki.file("broker.pem").string();
  setup.keyFile = pki.file("broker.key").string();
  setup.caFile = pki.file("ca.pem").string();
  setup.requireCertificate = true;
  rig.startBroker(setup);

  // A CA that did not sign the broker's certificate: refused, said once, tried again slowly.
  mqtt::MqttOptions o = rig.options();
  EXPECT_EQ(o.url, "mqtts://127.0.22.4:18832");
  o.caFile = pki.file("other-ca.pem").string();
  o.certFile = pki.file("client.pem").string();
  o.keyFile = pki.file("client.key").string();
  ASSERT_TRUE(rig.startPublisher(o, &error)) << error;
  ASSERT_TRUE(waitUntil([&] { return !rig.figures().lastError.empty(); }, 10000));  // logged by then
  EXPECT_NE(rig.figures().lastError.find("certificate verify failed"), std::string::npos) << rig.figures().lastError;
  EXPECT_FALSE(rig.figures().connected);
  EXPECT_EQ(rig.logLines("certificate verify failed"), 1u);
  rig.stopPublisher();

  o.caFile = pki.file("ca.pem").string();
  ASSERT_TRUE(rig.startPublisher(o, &error)) << error;
  ASSERT_TRUE(rig.waitConnected());
  MqttTestClient reader(rig.broker->pahoUri(), "tls-reader");
  const MqttTestClient::Tls tls{pki.file("ca.pem").string(), pki.file("client.pem").string(),
                                pki.file("client.key").string()};
  ASSERT_TRUE(reader.connect(5000, "", "", &tls));
  ASSERT_TRUE(reader.subscribe("opczentarc/test/#"));
  EXPECT_TRUE(holds(reader, rig.topic("Line1", "Value"), "314"));
  reader.disconnect();
}

TEST(MqttPublish, userAndPassword_rightOnesConnect_wrongOnesAreRefusedAndSaidOnce) {
  MqttRig rig("127.0.22.5");
  TempDir dir;
  ASSERT_TRUE(makePasswordFile(dir.file("passwords").string(), "plant", "s3cret"));
  ASSERT_TRUE(rig.plc.load(plcXml("Line1", "127.0.22.106", tagXmlWith("Value", "VT_UI2", 1, "READ"))));
  rig.plc.simulate("127.0.22.106").setRegister(0, 7);
  BrokerSetup setup;
  setup.passwordFile = dir.file("passwords").string();
  rig.startBroker(setup);

  mqtt::MqttOptions o = rig.options();
  o.user = "plant";
  o.password = "wrong";
  ASSERT_TRUE(rig.startPublisher(o));
  ASSERT_TRUE(waitUntil([&] { return !rig.figures().lastError.empty(); }, 10000));
  EXPECT_NE(rig.figures().lastError.find("refused"), std::string::npos) << rig.figures().lastError;
  EXPECT_EQ(rig.logLines("refused"), 1u);
  rig.stopPublisher();

  o.password = "s3cret";
  ASSERT_TRUE(rig.startPublisher(o));
  ASSERT_TRUE(rig.waitConnected());
  MqttTestClient reader(rig.broker->pahoUri(), "user-reader");
  ASSERT_TRUE(reader.connect(5000, "plant", "s3cret"));
  ASSERT_TRUE(reader.subscribe("opczentarc/test/#"));
  EXPECT_TRUE(holds(reader, rig.topic("Line1", "Value"), "7"));
}

// A server holding many OPC UA connections gets socket numbers past 1024, where select()
// cannot go: the broker's connection must work there too.
TEST(MqttPublish, brokerSocketNumberedPast1024_stillPublishes) {
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max < 2048) GTEST_SKIP() << "the hard limit on open files is below 2048";
  limit.rlim_cur = 2048;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
  MqttRig rig("127.0.22.20");
  ASSERT_TRUE(rig.plc.load(plcXml("Line1", "127.0.22.120", tagXmlWith("Value", "VT_UI2", 1, "READ"))));
  auto& sim = rig.plc.simulate("127.0.22.120");
  sim.setRegister(0, 11);
  rig.startBroker();
  auto reader = rig.subscriber("opczentarc/test/#");

  std::vector<int> filler;
  for (int i = 0; i < 1200 && (filler.empty() || filler.back() < 1100); ++i)
    filler.push_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  ASSERT_GE(filler.back(), 1100);
  ASSERT_TRUE(rig.startPublisher(rig.options()));
  ASSERT_TRUE(rig.waitConnected());
  EXPECT_TRUE(holds(*reader, rig.topic("Line1", "Value"), "11"));
  sim.setRegister(0, 12);
  EXPECT_TRUE(holds(*reader, rig.topic("Line1", "Value"), "12"));
  rig.stopPublisher();
  for (int fd : filler) ::close(fd);
}

}  // namespace
