// Sparkplug B against a real mosquitto and simulated PLCs, every payload read by the decoder
// from npm: births and their datatypes, data by alias, seq, bdSeq between NBIRTH and NDEATH,
// a PLC failing and recovering, rebirth, writes, and a primary host going offline and back.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "server/mqtt/sparkplug/Payload.h"
#include "tests/mqtt/MqttRig.h"
#include "tests/mqtt/MqttTestTags.h"
#include "tests/mqtt/sparkplug/NpmDecoder.h"
#include "tests/support/WaitFor.h"

namespace {

using namespace zentarc;
using namespace zentarc::testsupport;
using mqtt::json::Value;
using std::chrono::milliseconds;

mqtt::MqttOptions sparkplugOptions(const MqttRig& rig, bool write = false, const std::string& host = "") {
  mqtt::MqttOptions o = rig.options();
  o.format = mqtt::Format::Sparkplug;
  o.sparkplugGroup = "Plant";
  o.node = "edge1";
  o.write = write;
  o.sparkplugHost = host;
  return o;
}

// Decodes what arrived until `done` holds for it (at most `limit`).
template <class Done>
std::vector<SparkplugMessage> decodeUntil(const MqttTestClient& client, Done done, milliseconds limit = milliseconds(15000)) {
  std::vector<SparkplugMessage> decoded;
  waitFor(
      [&] {
        decoded = decodeSparkplug(client.messages());
        return done(decoded);
      },
      limit);
  return decoded;
}

std::vector<const SparkplugMessage*> ofType(const std::vector<SparkplugMessage>& all, const std::string& type,
                                            const std::string& device = "") {
  std::vector<const SparkplugMessage*> out;
  for (const auto& m : all)
    if (m.type == type && (device.empty() || m.device == device)) out.push_back(&m);
  return out;
}

// What a host knows after these messages: each metric's latest value by alias, the aliases
// learnt from the births.
struct HostView {
  std::map<std::string, double> aliasOf;  // "<device>/<name>" (node metrics: "/<name>")
  std::map<double, std::string> latest;   // alias -> value as JSON text
  explicit HostView(const std::vector<SparkplugMessage>& all) {
    for (const auto& m : all) {
      const Value* metrics = m.payload.member("metrics");
      if (!metrics || m.type == "NDEATH") continue;
      for (const Value& metric : metrics->items) {
        const double alias = number(metric, "alias");
        if ((m.type == "NBIRTH" || m.type == "DBIRTH") && metric.member("name"))
          aliasOf[m.device + "/" + metric.member("name")->text] = alias;
        if (metric.member("historical") && metric.member("historical")->boolean) continue;
        latest[alias] = mqtt::json::serialize(*metric.member("value"));
      }
    }
  }
  std::string value(const std::string& device, const std::string& name) const {
    const auto a = aliasOf.find(device + "/" + name);
    if (a == aliasOf.end()) return "(not born)";
    const auto v = latest.find(a->second);
    return v == latest.end() ? "(none)" : v->second;
  }
};

std::string valueText(const Value* metric) {
  return metric && metric->member("value") ? mqtt::json::serialize(*metric->member("value")) : "(none)";
}

std::string publishedCommand(const std::string& name, std::optional<std::uint64_t> alias,
                             mqtt::sparkplug::DataType type, mqtt::sparkplug::MetricValue value) {
  mqtt::sparkplug::Payload p;
  p.timestamp = 1765102530000;
  mqtt::sparkplug::Metric m;
  m.name = name;
  m.alias = alias;
  m.datatype = type;
  m.value = std::move(value);
  p.metrics.push_back(std::move(m));
  return mqtt::sparkplug::encodePayload(p);
}

struct Plant {
  plcsim::Simulator* line1 = nullptr;
  plcsim::Simulator* line2 = nullptr;
};

// Line1 with tags of several kinds, Line2 with a counter; their simulators started.
Plant loadPlant(MqttRig& rig, const std::string& prefix) {
  Plant plant;
  EXPECT_TRUE(rig.plc.load(plcXml("Line1", prefix + "101",
                                  tagXmlWith("Setpoint", "VT_I2", 1, "READWRITE") +
                                      tagXmlWith("Level", "VT_R4", 2, "READ") +
                                      tagXmlWith("Recipe", "VT_BSTR", 10, "READ", 6) +
                                      tagXmlWith("Speeds", "VT_UI2 ARRAY", 20, "READ", 3) +
                                      tagXmlWith("Command", "VT_UI2", 30, "WRITE")) +
                           plcXml("Line2", prefix + "102", tagXmlWith("Counter", "VT_UI4", 1, "READ"))));
  plant.line1 = &rig.plc.simulate(prefix + "101");
  plant.line1->setRegister(0, static_cast<std::uint16_t>(-7));
  plant.line1->setRegisters(1, {0x3FC0, 0x0000});          // 1.5
  plant.line1->setRegisters(9, {0x494D, 0x2D58, 0x0041});  // "MIX-A"
  plant.line1->setRegisters(19, {10, 20, 30});
  plant.line2 = &rig.plc.simulate(prefix + "102");
  plant.line2->setRegisters(0, {0x0001, 0x1170});  // 70000
  return plant;
}

// Line2's Counter values sent as history (is_historical) in DDATA after `birth`, in order.
std::vector<double> counterHistory(const std::vector<SparkplugMessage>& all, const SparkplugMessage* birth) {
  const double counter = HostView(all).aliasOf.at("Line2/Counter");
  std::vector<double> history;
  bool afterBirth = false;
  for (const auto& m : all) {
    afterBirth |= &m == birth;
    if (!afterBirth || m.type != "DDATA") continue;
    for (const Value& metric : m.payload.member("metrics")->items)
      if (metric.member("historical")->boolean && number(metric, "alias") == counter)
        history.push_back(number(metric, "value"));
  }
  return history;
}

// seq runs 0, 1, ... 255, 0 across every message of the node from its NBIRTH on (or on from
// the first message seen).
bool seqContinuous(const std::vector<SparkplugMessage>& all, std::string* why) {
  double expected = -1;
  for (const auto& m : all) {
    static const std::set<std::string> sent = {"NBIRTH", "DBIRTH", "NDATA", "DDATA", "DDEATH"};
    if (!sent.count(m.type)) continue;  // NDEATH has none; commands and STATE are not the node's
    const double seq = number(m.payload, "seq");
    if (m.type == "NBIRTH") expected = 0;
    if (expected < 0) expected = seq;  // the messages seen start later
    if (seq != expected) {
      *why = m.type + " " + m.device + " has seq " + std::to_string(seq) + ", not " + std::to_string(expected);
      return false;
    }
    expected = std::fmod(expected + 1, 256);
  }
  return true;
}

TEST(SparkplugBroker, birthsDeclareEveryTag_dataFollowsByAlias_seqRunsOn_deathNamesTheBirthsBdSeq) {
  MqttRig rig("127.0.23.1");
  const Plant plant = loadPlant(rig, "127.0.23.");
  rig.startBroker();
  auto host = rig.subscriber("spBv1.0/#");
  std::string error;
  ASSERT_TRUE(rig.startPublisher(sparkplugOptions(rig), &error)) << error;
  ASSERT_TRUE(rig.waitConnected());

  auto all = decodeUntil(*host, [](const auto& d) {
    const HostView v(d);
    return v.value("Line1", "Recipe") == "\"MIX-A\"" && v.value("Line2", "Counter") == "70000";
  });
  ASSERT_FALSE(all.empty());
  // NBIRTH first: seq 0, bdSeq, Node Control/Rebirth false, every metric named and aliased.
  ASSERT_EQ(all[0].type, "NBIRTH") << all[0].topic;
  EXPECT_EQ(all[0].topic, "spBv1.0/Plant/NBIRTH/edge1");
  EXPECT_EQ(number(all[0].payload, "seq"), 0);
  const Value* bdSeq = metricNamed(all[0].payload, "bdSeq");
  ASSERT_TRUE(bdSeq);
  EXPECT_EQ(bdSeq->member("type")->text, "UInt64");
  const std::string bdSeqText = valueText(bdSeq);  // `all` is decoded anew below
  EXPECT_EQ(valueText(metricNamed(all[0].payload, "Node Control/Rebirth")), "false");

  // A DBIRTH per PLC declaring every tag with its datatype, and the PLC's figures.
  const auto births = ofType(all, "DBIRTH");
  ASSERT_EQ(births.size(), 2u);
  const Value& line1 = births[0]->device == "Line1" ? births[0]->payload : births[1]->payload;
  const std::map<std::string, double> datatypes = {
      {"Setpoint", 2}, {"Level", 9}, {"Recipe", 12}, {"Speeds", 27}, {"Command", 6}, {"Diagnostics/State", 12}, {"Diagnostics/CpuState", 12}, {"Diagnostics/CpuRunning", 11}};
  for (const auto& [name, datatype] : datatypes) {
    const Value* m = metricNamed(line1, name);
    ASSERT_TRUE(m) << name;
    EXPECT_EQ(number(*m, "datatype"), datatype) << name;
    EXPECT_FALSE(std::isnan(number(*m, "timestamp"))) << name;
  }
  // A tag that cannot be read is declared, null, with a bad Quality.
  EXPECT_TRUE(metricNamed(line1, "Command")->member("isNull")->boolean);
  EXPECT_EQ(number(*metricNamed(line1, "Command"), "quality"), 0);

  // Aliases are unique across the node; data messages carry aliases, not names.
  std::set<double> aliases;
  std::size_t declared = 0;
  for (const auto& m : all) {
    if (m.type != "NBIRTH" && m.type != "DBIRTH") continue;
    for (const Value& metric : m.payload.member("metrics")->items) {
      aliases.insert(number(metric, "alias"));
      ++declared;
    }
  }
  EXPECT_EQ(aliases.size(), declared);
  for (const auto* m : ofType(all, "DDATA"))
    for (const Value& metric : m->payload.member("metrics")->items) {
      EXPECT_EQ(metric.member("name")->kind, Value::Kind::Null);
      EXPECT_FALSE(std::isnan(number(metric, "timestamp")));
    }
  const HostView view(all);
  EXPECT_EQ(view.value("Line1", "Setpoint"), "-7");
  EXPECT_EQ(view.value("Line1", "Level"), "1.5");
  EXPECT_EQ(view.value("Line1", "Speeds"), "[10,20,30]");

  // One change: a DDATA with that tag's alias and no other tag's.
  host->clear();
  plant.line1->setRegister(0, 99);
  const double setpoint = view.aliasOf.at("Line1/Setpoint");
  auto after = decodeUntil(*host, [&](const auto& d) { return HostView(d).latest.count(setpoint) > 0; });
  std::set<double> tagAliases;
  for (const auto& [key, alias] : view.aliasOf)
    if (key.find("/Diagnostics/") == std::string::npos && key[0] != '/') tagAliases.insert(alias);
  for (const auto* m : ofType(after, "DDATA"))
    for (const Value& metric : m->payload.member("metrics")->items) {
      const double alias = number(metric, "alias");
      if (tagAliases.count(alias)) {
        EXPECT_EQ(alias, setpoint);
      }
    }
  EXPECT_EQ(HostView(after).latest[setpoint], "99");

  // Orderly shutdown: NDEATH with the NBIRTH's bdSeq and no seq.
  rig.stopPublisher();
  all = decodeUntil(*host, [](const auto& d) { return !ofType(d, "NDEATH").empty(); }, milliseconds(5000));
  const auto deaths = ofType(all, "NDEATH");
  ASSERT_EQ(deaths.size(), 1u);
  EXPECT_EQ(valueText(metricNamed(deaths[0]->payload, "bdSeq")), bdSeqText);
  EXPECT_EQ(deaths[0]->payload.member("seq")->kind, Value::Kind::Null);
  std::string why;
  EXPECT_TRUE(seqContinuous(decodeSparkplug(host->messages()), &why)) << why;
}

TEST(SparkplugBroker, aFailingPlcGetsDdeath_andANewDbirthWithCurrentValuesOnceItWorks) {
  MqttRig rig("127.0.23.2");
  const Plant plant = loadPlant(rig, "127.0.24.");
  rig.startBroker();
  auto host = rig.subscriber("spBv1.0/#");
  ASSERT_TRUE(rig.startPublisher(sparkplugOptions(rig)));
  ASSERT_TRUE(decodeUntil(*host, [](const auto& d) { return HostView(d).value("Line2", "Counter") == "70000"; })
                  .size());
  auto& line2 = *plant.line2;
  line2.stop();
  auto all = decodeUntil(*host, [](const auto& d) { return !ofType(d, "DDEATH").empty(); });
  const auto deaths = ofType(all, "DDEATH");
  ASSERT_EQ(deaths.size(), 1u);
  EXPECT_EQ(deaths[0]->device, "Line2");
  EXPECT_FALSE(std::isnan(number(deaths[0]->payload, "seq")));

  host->clear();
  line2.setRegisters(0, {0x0001, 0x1171});  // 70001
  ASSERT_TRUE(line2.start());
  all = decodeUntil(*host, [](const auto& d) {
    return HostView(d).value("Line2", "Counter") == "70001";
  }, milliseconds(30000));
  const auto births = ofType(all, "DBIRTH", "Line2");
  ASSERT_FALSE(births.empty());
  EXPECT_EQ(valueText(metricNamed(births[0]->payload, "Diagnostics/State")), "\"working\"");
  EXPECT_EQ(valueText(metricNamed(births[0]->payload, "Diagnostics/CpuState")), "\"run, outputs enabled\"");
  // The other PLC never died.
  EXPECT_TRUE(ofType(decodeSparkplug(host->messages()), "DDEATH", "Line1").empty());
  std::string why;
  EXPECT_TRUE(seqContinuous(all, &why)) << why;
}

TEST(SparkplugBroker, rebirthOnNcmd_republishesNbirthWithTheSameBdSeqAndEveryDbirth) {
  MqttRig rig("127.0.23.3");
  loadPlant(rig, "127.0.25.");
  rig.startBroker();
  auto host = rig.subscriber("spBv1.0/#");
  ASSERT_TRUE(rig.startPublisher(sparkplugOptions(rig)));
  auto first = decodeUntil(*host, [](const auto& d) { return ofType(d, "DBIRTH").size() == 2; });
  ASSERT_EQ(ofType(first, "NBIRTH").size(), 1u);
  const std::string bdSeq = valueText(metricNamed(ofType(first, "NBIRTH")[0]->payload, "bdSeq"));

  using mqtt::sparkplug::DataType;
  auto commander = rig.subscriber("nothing/here");
  ASSERT_TRUE(commander->publish("spBv1.0/Plant/NCMD/edge1",
                                 publishedCommand("Node Control/Rebirth", std::nullopt, DataType::Boolean, false)));
  ASSERT_TRUE(commander->publish("spBv1.0/Plant/NCMD/edge1",
                                 publishedCommand("Node Control/Rebirth", std::nullopt, DataType::Boolean, true)));
  auto all = decodeUntil(*host, [](const auto& d) { return ofType(d, "DBIRTH").size() == 4; });
  const auto nbirths = ofType(all, "NBIRTH");
  ASSERT_EQ(nbirths.size(), 2u);  // the false one asked for nothing
  EXPECT_EQ(number(nbirths[1]->payload, "seq"), 0);
  EXPECT_EQ(valueText(metricNamed(nbirths[1]->payload, "bdSeq")), bdSeq);
  std::string why;
  EXPECT_TRUE(seqContinuous(all, &why)) << why;
}

TEST(SparkplugBroker, dcmdWritesByNameOrAlias_refusedOnesChangeNothing_andOffIgnoresThem) {
  MqttRig rig("127.0.23.4");
  const Plant plant = loadPlant(rig, "127.0.26.");
  rig.startBroker();
  auto host = rig.subscriber("spBv1.0/#");
  ASSERT_TRUE(rig.startPublisher(sparkplugOptions(rig, true)));
  auto all = decodeUntil(*host, [](const auto& d) { return HostView(d).value("Line1", "Setpoint") == "-7"; });
  const HostView view(all);
  auto& sim = *plant.line1;
  auto commander = rig.subscriber("nothing/here");
  const std::string dcmd = "spBv1.0/Plant/DCMD/edge1/Line1";
  using mqtt::sparkplug::DataType;

  ASSERT_TRUE(commander->publish(dcmd, publishedCommand("Setpoint", std::nullopt, DataType::Int16, std::int64_t{1234})));
  const auto command = static_cast<std::uint64_t>(view.aliasOf.at("Line1/Command"));
  ASSERT_TRUE(commander->publish(dcmd, publishedCommand("", command, DataType::UInt16, std::uint64_t{77})));
  EXPECT_TRUE(waitFor([&] { return sim.registerValue(0) == 1234 && sim.registerValue(29) == 77; }, milliseconds(10000)));
  // The new value comes back as data once the PLC has it.
  EXPECT_FALSE(decodeUntil(*host, [](const auto& d) { return HostView(d).value("Line1", "Setpoint") == "1234"; })
                   .empty());
  EXPECT_EQ(HostView(decodeSparkplug(host->messages())).value("Line1", "Setpoint"), "1234");

  // Refused: a read-only tag, a value the tag cannot hold, a tag that does not exist.
  ASSERT_TRUE(commander->publish(dcmd, publishedCommand("Level", std::nullopt, DataType::Float, 9.5f)));
  ASSERT_TRUE(commander->publish(dcmd, publishedCommand("Setpoint", std::nullopt, DataType::Int32, std::int64_t{70000})));
  ASSERT_TRUE(commander->publish(dcmd, publishedCommand("Nope", std::nullopt, DataType::Int16, std::int64_t{1})));
  EXPECT_TRUE(waitFor([&] { return rig.logLines("refused") >= 3; }, milliseconds(10000)));
  EXPECT_EQ(rig.logLines("Sparkplug write of Line1/Level refused: BadNotWritable"), 1u);
  EXPECT_EQ(rig.logLines("Sparkplug write of Line1/Setpoint refused: BadOutOfRange"), 1u);
  EXPECT_EQ(rig.logLines("\"Nope\" on Line1 refused: no such tag"), 1u);
  EXPECT_EQ(sim.registerValue(0), 1234);
  EXPECT_EQ(sim.registers(1, 2), (std::vector<std::uint16_t>{0x3FC0, 0x0000}));

  // Writes off: DCMDs change nothing and are logged once.
  rig.stopPublisher();
  ASSERT_TRUE(rig.startPublisher(sparkplugOptions(rig, false)));
  ASSERT_TRUE(rig.waitConnected());
  for (int i = 0; i < 2; ++i)
    ASSERT_TRUE(commander->publish(dcmd, publishedCommand("Setpoint", std::nullopt, DataType::Int16, std::int64_t{5})));
  EXPECT_TRUE(waitFor([&] { return rig.logLines("writes are off") >= 1; }, milliseconds(5000)));
  std::this_thread::sleep_for(milliseconds(1000));
  EXPECT_EQ(rig.logLines("writes are off"), 1u);
  EXPECT_EQ(sim.registerValue(0), 1234);
}

TEST(SparkplugBroker, primaryHost_birthsWaitForIt_offlineMeansLeave_changesComeBackAsHistoryInOrder) {
  MqttRig rig("127.0.23.5");
  const Plant plant = loadPlant(rig, "127.0.27.");
  rig.startBroker();
  auto host = rig.subscriber("spBv1.0/#");
  ASSERT_TRUE(rig.startPublisher(sparkplugOptions(rig, false, "scada")));
  ASSERT_TRUE(rig.waitConnected());
  std::this_thread::sleep_for(milliseconds(1500));
  EXPECT_TRUE(ofType(decodeSparkplug(host->messages()), "NBIRTH").empty());  // no host yet

  auto scada = rig.subscriber("nothing/here", "scada");
  const auto state = [&](bool online, std::uint64_t ts) {
    return scada->publish("spBv1.0/STATE/scada",
                          std::string("{\"online\":") + (online ? "true" : "false") + ",\"timestamp\":" +
                              std::to_string(ts) + "}",
                          true, 1);
  };
  ASSERT_TRUE(state(true, 1000));
  auto all = decodeUntil(*host, [](const auto& d) { return HostView(d).value("Line2", "Counter") == "70000"; });
  ASSERT_EQ(ofType(all, "NBIRTH").size(), 1u);
  const double firstBdSeq = number(*metricNamed(ofType(all, "NBIRTH")[0]->payload, "bdSeq"), "value");

  // The host goes offline: the node says NDEATH and leaves, then waits for it.
  ASSERT_TRUE(state(false, 2000));
  all = decodeUntil(*host, [](const auto& d) { return !ofType(d, "NDEATH").empty(); });
  ASSERT_EQ(ofType(all, "NDEATH").size(), 1u);
  EXPECT_EQ(number(*metricNamed(ofType(all, "NDEATH")[0]->payload, "bdSeq"), "value"), firstBdSeq);
  ASSERT_TRUE(waitFor([&] { return rig.logLines("MQTT: connected to") >= 2; }, milliseconds(10000)));

  // Changes meanwhile, each polled at least once.
  auto& line2 = *plant.line2;
  for (std::uint16_t i = 1; i <= 5; ++i) {
    line2.setRegisters(0, {0x0001, static_cast<std::uint16_t>(0x1170 + i)});
    std::this_thread::sleep_for(milliseconds(700));
  }
  EXPECT_EQ(ofType(decodeSparkplug(host->messages()), "NBIRTH").size(), 1u);  // nothing born meanwhile

  ASSERT_TRUE(state(true, 3000));
  all = decodeUntil(*host, [](const auto& d) {
    return ofType(d, "NBIRTH").size() == 2 && HostView(d).value("Line2", "Counter") == "70005";
  });
  const auto nbirths = ofType(all, "NBIRTH");
  ASSERT_EQ(nbirths.size(), 2u);
  EXPECT_EQ(number(*metricNamed(nbirths[1]->payload, "bdSeq"), "value"), std::fmod(firstBdSeq + 1, 256));
  // After the births, the stored changes, marked historical, oldest first, none lost.
  EXPECT_EQ(counterHistory(all, nbirths[1]), (std::vector<double>{70001, 70002, 70003, 70004, 70005}));
  std::string why;
  EXPECT_TRUE(seqContinuous(all, &why)) << why;
}

// The broker itself goes away: what changed meanwhile is kept and follows the new births as
// history, as when a primary host was offline.
TEST(SparkplugBroker, brokerKilled_newBirthsThenTheChangesOfTheOutageAsHistoryInOrder) {
  MqttRig rig("127.0.23.9");
  const Plant plant = loadPlant(rig, "127.0.30.");
  rig.startBroker();
  auto host = rig.subscriber("spBv1.0/#");
  ASSERT_TRUE(rig.startPublisher(sparkplugOptions(rig)));
  auto all = decodeUntil(*host, [](const auto& d) { return HostView(d).value("Line2", "Counter") == "70000"; });
  ASSERT_FALSE(ofType(all, "NBIRTH").empty());
  const double firstBdSeq = number(*metricNamed(ofType(all, "NBIRTH").back()->payload, "bdSeq"), "value");

  rig.broker->kill();
  ASSERT_TRUE(rig.waitConnected(false));
  auto& line2 = *plant.line2;
  for (std::uint16_t i = 1; i <= 5; ++i) {
    line2.setRegisters(0, {0x0001, static_cast<std::uint16_t>(0x1170 + i)});
    std::this_thread::sleep_for(milliseconds(700));
  }
  std::string error;
  ASSERT_TRUE(rig.broker->start(&error)) << error;
  host = rig.subscriber("spBv1.0/#", "host-after-outage");
  // The publisher tries again 1, 2, 4 s apart.
  ASSERT_TRUE(rig.waitConnected(true, 20000));
  all = decodeUntil(*host, [](const auto& d) {
    return !ofType(d, "NBIRTH").empty() && HostView(d).value("Line2", "Counter") == "70005";
  });
  const auto nbirths = ofType(all, "NBIRTH");
  ASSERT_EQ(nbirths.size(), 1u);
  EXPECT_EQ(number(*metricNamed(nbirths[0]->payload, "bdSeq"), "value"), std::fmod(firstBdSeq + 1, 256));
  EXPECT_EQ(ofType(all, "DBIRTH").size(), 2u);
  EXPECT_EQ(counterHistory(all, nbirths[0]), (std::vector<double>{70001, 70002, 70003, 70004, 70005}));
  std::string why;
  EXPECT_TRUE(seqContinuous(all, &why)) << why;
}

TEST(SparkplugBroker, aPlcWhoseNameCannotBeADeviceIdIsRefusedByName) {
  MqttRig rig("127.0.23.6");
  ASSERT_TRUE(rig.plc.load(plcXml("Odd/Line", "127.0.28.101", tagXmlWith("A", "VT_I2", 1, "READ"))));
  rig.startBroker();
  std::string error;
  EXPECT_FALSE(rig.startPublisher(sparkplugOptions(rig), &error));
  EXPECT_NE(error.find("\"Odd/Line\""), std::string::npos) << error;
  EXPECT_NE(error.find("'/'"), std::string::npos) << error;
}

}  // namespace
