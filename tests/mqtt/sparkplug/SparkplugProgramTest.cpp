// The OPCZentarc program in Sparkplug B: its options from the store and the command line,
// the will a killed server leaves (its bdSeq that of the session's NBIRTH), and what
// --check-config says, including the ids it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <tuple>

#include "bench/ChildProcess.h"
#include "server/mqtt/sparkplug/Payload.h"
#include "tests/mqtt/MqttTestTags.h"
#include "tests/mqtt/sparkplug/NpmDecoder.h"

namespace {

using namespace zentarc;
using namespace zentarc::testsupport;
using mqtt::json::Value;

std::string config(const std::string& plcName, const std::string& plcAddress) {
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n<OPC_DA>\r\n" +
         plcXml(plcName, plcAddress, tagXmlWith("Count", "VT_I2", 1, "READWRITE")) + "</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
}

// The program with its settings in `dir`.
struct Program {
  Program(const TempDir& dir, std::vector<std::string> args) {
    ::setenv("OPCZENTARC_SETTINGS", dir.file("settings.ini").c_str(), 1);
    args.insert(args.begin(), {OPCZENTARC_PROGRAM, "--headless"});
    EXPECT_TRUE(process.start(args));
  }
  // Its exit status once it has ended by itself (within 10 s); -1 when it had to be ended.
  int exitStatus() {
    const bool ended = waitUntil(
        [this] {
          std::ifstream stat("/proc/" + std::to_string(process.pid()) + "/stat");
          std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
          const auto close = text.rfind(')');
          return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
        },
        10000);
    const int status = process.stop();
    return ended ? status : -1;
  }
  bench::ChildProcess process;
};

std::string rebirthCommand() {
  mqtt::sparkplug::Payload p;
  p.timestamp = 1765102530000;
  mqtt::sparkplug::Metric m;
  m.name = "Node Control/Rebirth";
  m.datatype = mqtt::sparkplug::DataType::Boolean;
  m.value = true;
  p.metrics.push_back(std::move(m));
  return mqtt::sparkplug::encodePayload(p);
}

// The bdSeq of the first message on `topic`, as the decoder from npm reads it
// (NaN when there is none yet).
double bdSeqOf(const std::vector<SparkplugMessage>& all, const std::string& topic) {
  for (const auto& m : all)
    if (m.topic == topic)
      if (const Value* b = metricNamed(m.payload, "bdSeq")) return number(*b, "value");
  return std::nan("");
}

// Born, and the PLC's value known (in the DBIRTH, or in DDATA by the alias it declared);
// what arrived, decoded.
bool bornWithValue(const MqttTestClient& host, double value, std::vector<SparkplugMessage>& all,
                   std::chrono::milliseconds limit = std::chrono::milliseconds(15000)) {
  return host.waitFor(
      [&](const auto& received) {
        all = decodeSparkplug(received);
        double alias = std::nan("");
        for (const auto& m : all) {
          const Value* count = m.topic == "spBv1.0/Site/DBIRTH/press/Press" ? metricNamed(m.payload, "Count")
                               : m.topic == "spBv1.0/Site/DDATA/press/Press" ? metricWithAlias(m.payload, alias)
                                                                              : nullptr;
          if (count && m.topic.find("DBIRTH") != std::string::npos) alias = number(*count, "alias");
          if (count && number(*count, "value") == value) return true;
        }
        return false;
      },
      limit);
}

TEST(SparkplugProgram, storeSetsTheFormat_theWillOfAKilledServerNamesItsLatestSession) {
  BrokerSetup setup;
  setup.address = "127.0.23.7";
  MosquittoBroker broker(setup);
  ASSERT_TRUE(broker.start());
  plcsim::Simulator sim({.address = "127.0.29.101"});
  ASSERT_TRUE(sim.start());
  sim.setRegister(0, 42);
  TempDir dir;
  const std::string cfg = dir.write("plant.xml", config("Press", "127.0.29.101")).string();
  dir.write("settings.ini", "[SOFTWARE\\TarvelleAutomation\\OPCZentarc]\nPki=" + dir.file("pki").string() +
                                "\nUsers=" + dir.file("users").string() + "\nMqtt=" + broker.url() +
                                "\nMqttFormat=sparkplug\nSparkplugGroup=Site\nMqttRate=200\n");
  auto host = std::make_unique<MqttTestClient>(broker.pahoUri(), "host");
  ASSERT_TRUE(host->connect());
  ASSERT_TRUE(host->subscribe("spBv1.0/#"));
  const std::string nbirth = "spBv1.0/Site/NBIRTH/press", ndeath = "spBv1.0/Site/NDEATH/press";
  Program server(dir, {"--config", cfg, "--endpoint", "opc.tcp://127.0.29.1:28720", "--security", "None",
                       "--mqtt-node", "press"});
  std::vector<SparkplugMessage> all;
  ASSERT_TRUE(bornWithValue(*host, 42, all));
  const double first = bdSeqOf(all, nbirth);
  ASSERT_FALSE(std::isnan(first));

  // A second session (the broker restarted): a new bdSeq, and a will that carries it.
  broker.stop();
  ASSERT_TRUE(broker.start());
  sim.setRegister(0, 43);
  host = std::make_unique<MqttTestClient>(broker.pahoUri(), "host");
  ASSERT_TRUE(host->connect());
  ASSERT_TRUE(host->subscribe("spBv1.0/#"));
  // The node may have been born again before the host subscribed: the host asks for births,
  // as a Sparkplug host does that sees data it cannot name.
  ASSERT_TRUE(host->publish("spBv1.0/Site/NCMD/press", rebirthCommand()));
  // The server's tries back off while the broker is away (1 s doubling to 30 s): on a busy
  // machine the try that finds it back may come well after the restart.
  ASSERT_TRUE(bornWithValue(*host, 43, all, std::chrono::milliseconds(45000)));
  const double second = bdSeqOf(all, nbirth);
  EXPECT_EQ(second, std::fmod(first + 1, 256));

  // Killed: the broker publishes the will, which names the session that ended.
  ::kill(server.process.pid(), SIGKILL);
  ASSERT_TRUE(host->waitFor([&](const auto& received) {
    all = decodeSparkplug(received);
    return !std::isnan(bdSeqOf(all, ndeath));
  }));
  EXPECT_EQ(bdSeqOf(all, ndeath), second);
}

TEST(SparkplugProgram, checkConfig_listsDevicesAndRefusesIdsThatCannotBeOneTopicLevel) {
  TempDir dir;
  dir.write("settings.ini", "[SOFTWARE\\TarvelleAutomation\\OPCZentarc]\n");
  const std::string good = dir.write("good.xml", config("Press", "127.0.29.102")).string();
  const std::string odd = dir.write("odd.xml", config("Odd/Line", "127.0.29.103")).string();
  const std::vector<std::string> sparkplug = {"--mqtt", "mqtt://127.0.23.8", "--mqtt-format", "sparkplug",
                                              "--mqtt-node", "edge9"};
  {
    auto args = sparkplug;
    args.insert(args.begin(), {"--check-config", good});
    Program check(dir, args);
    EXPECT_TRUE(check.process.waitForLine("Sparkplug B edge node OPCZentarc/edge9", 10000));
    EXPECT_TRUE(check.process.waitForLine("spBv1.0/OPCZentarc/DBIRTH/edge9/Press: 1 tag metrics", 2000));
    EXPECT_FALSE(check.process.waitForLine("problem", 5000));
    EXPECT_EQ(check.exitStatus(), 0);
  }
  // A PLC name and a node id with '/', each named.
  for (const auto& [file, extra, text] :
       std::vector<std::tuple<std::string, std::vector<std::string>, std::string>>{
           {odd, {}, "problem: MQTT: the PLC \"Odd/Line\" cannot be a Sparkplug device: its name holds '/'"},
           {good, {"--mqtt-node", "a/b"}, "problem: MQTT: the Sparkplug edge node id \"a/b\" holds '/'"}}) {
    auto args = sparkplug;
    args.insert(args.begin(), {"--check-config", file});
    args.insert(args.end(), extra.begin(), extra.end());
    Program check(dir, args);
    EXPECT_TRUE(check.process.waitForLine(text, 10000)) << text;
    EXPECT_EQ(check.exitStatus(), 1) << text;
  }
  // Options that cannot be used end the run at once.
  for (const auto& bad : std::vector<std::vector<std::string>>{{"--sparkplug-group", "a+b"},
                                                                {"--sparkplug-host", "#"},
                                                                {"--mqtt-format", "xml"}}) {
    Program p(dir, bad);
    EXPECT_TRUE(p.process.waitForLine("OPCZentarc: " + bad[0], 5000)) << bad[0];
    EXPECT_EQ(p.exitStatus(), 2) << bad[0];
  }
}

}  // namespace
