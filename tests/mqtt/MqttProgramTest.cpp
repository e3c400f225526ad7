// The OPCZentarc program with MQTT on: its options from the command line and the settings
// store, what it publishes, OPC UA's Diagnostics/Mqtt, offline on an orderly shut-down and
// by the last will when it is killed, and --check-config's topics.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <sys/stat.h>

#include "bench/ChildProcess.h"
#include "common/settings/SettingsStore.h"
#include "server/shell/MqttSetup.h"
#include "server/shell/StatusText.h"
#include "server/toolkit/ua/UaClient.h"
#include "tests/mqtt/MqttTestTags.h"

namespace {

using namespace zentarc;
using namespace zentarc::testsupport;
using std::chrono::milliseconds;

const std::string kStateTopic = "opczentarc/press/$state";

std::string config(const std::string& plcAddress) {
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n<OPC_DA>\r\n" +
         plcXml("Press", plcAddress, tagXmlWith("Press.Count", "VT_I2", 1, "READWRITE")) +
         "</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
}

// The program with its settings in `dir`, MQTT named there (the node on the command line).
class Server {
 public:
  Server(const TempDir& dir, std::vector<std::string> args) {
    ::setenv("OPCZENTARC_SETTINGS", dir.file("settings.ini").c_str(), 1);
    std::vector<std::string> all = {OPCZENTARC_PROGRAM, "--headless"};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_TRUE(process.start(all));
  }
  bench::ChildProcess process;
};

// True once the process has ended by itself (a zombie until it is waited for), so that
// stop() takes its own exit status rather than ending it.
bool ended(pid_t pid) {
  return waitUntil(
      [pid] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto close = text.rfind(')');
        return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
      },
      10000);
}

bool stateIs(const MqttTestClient& client, const std::string& state) {
  return client.waitFor([&](const auto&) {
    const auto m = client.last(kStateTopic);
    return m && m->payload == state;
  });
}

TEST(MqttProgram, publishesWhileItRuns_offlineWhenItStops_andByTheWillWhenKilled) {
  BrokerSetup setup;
  setup.address = "127.0.22.11";
  MosquittoBroker broker(setup);
  ASSERT_TRUE(broker.start());
  plcsim::Simulator sim({.address = "127.0.22.112"});
  ASSERT_TRUE(sim.start());
  sim.setRegister(0, 77);
  TempDir dir;
  const std::string cfg = dir.write("plant.xml", config("127.0.22.112")).string();
  dir.write("settings.ini", "[SOFTWARE\\TarvelleAutomation\\OPCZentarc]\nPki=" + dir.file("pki").string() +
                                "\nUsers=" + dir.file("users").string() + "\nMqtt=" + broker.url() +
                                "\nMqttNode=fromstore\nMqttRate=200\n");
  MqttTestClient watcher(broker.pahoUri(), "watcher");
  ASSERT_TRUE(watcher.connect());
  ASSERT_TRUE(watcher.subscribe("opczentarc/#"));
  const std::vector<std::string> args = {"--config", cfg, "--endpoint", "opc.tcp://127.0.0.1:28720", "--security",
                                         "None", "--mqtt-node", "press"};
  {
    Server server(dir, args);
    ASSERT_TRUE(server.process.waitForLine("MQTT: connected to " + broker.url(), 10000));
    EXPECT_TRUE(stateIs(watcher, "online"));
    EXPECT_TRUE(watcher.waitForMessage("opczentarc/press/Press/Press.Count",
                                       [](const ReceivedMessage& m) { return member(m.payload, "value") == "77"; }));
    EXPECT_TRUE(watcher.messagesOn("opczentarc/fromstore/$state").empty());  // the command line wins

    // OPC UA clients see the broker's figures.
    ua::UaClient client;
    ASSERT_TRUE(client.connect("opc.tcp://127.0.0.1:28720").isGood()) << client.errorText();
    std::vector<ua::DataValue> values;
    std::vector<ua::ReadValueId> nodes(3);
    nodes[0].nodeId = ua::NodeId(1, 21);  // Diagnostics/Mqtt/Connected
    nodes[1].nodeId = ua::NodeId(1, 22);  // Published
    nodes[2].nodeId = ua::NodeId(1, 25);  // LastError
    ASSERT_TRUE(client.read(nodes, values).isGood());
    ASSERT_EQ(values.size(), 3u);
    ASSERT_TRUE(values[0].value && values[1].value && values[2].value);
    EXPECT_EQ(std::get<bool>(values[0].value->scalar), true);
    EXPECT_GT(std::get<uint64_t>(values[1].value->scalar), 0u);
    EXPECT_EQ(std::get<ua::String>(values[2].value->scalar), "");
    client.disconnect();

    EXPECT_EQ(server.process.stop(), 0);
  }
  EXPECT_TRUE(stateIs(watcher, "offline"));

  {
    Server server(dir, args);
    EXPECT_TRUE(stateIs(watcher, "online"));
    // Killed: the broker says offline for it.
    ::kill(server.process.pid(), SIGKILL);
    EXPECT_TRUE(stateIs(watcher, "offline"));
    server.process.stop();
  }
  MqttTestClient late(broker.pahoUri(), "late");
  ASSERT_TRUE(late.connect());
  ASSERT_TRUE(late.subscribe(kStateTopic));
  EXPECT_TRUE(late.waitForMessage(kStateTopic, [](const ReceivedMessage& m) { return m.retained && m.payload == "offline"; }));
}

TEST(MqttProgram, checkConfig_listsTheTopics_andOptionErrorsStopTheProgram) {
  TempDir dir;
  dir.write("settings.ini", "[SOFTWARE\\TarvelleAutomation\\OPCZentarc]\n");
  const std::string cfg = dir.write("plant.xml", config("127.0.22.113")).string();
  {
    Server check(dir, {"--check-config", cfg, "--mqtt", "mqtt://127.0.22.12", "--mqtt-node", "a/b", "--mqtt-write", "on"});
    std::string line;
    EXPECT_TRUE(check.process.waitForLine("opczentarc/a%2Fb/Press/Press.Count", 10000, &line));
    EXPECT_TRUE(check.process.waitForLine("writes to 1 tag on <tag topic>/set", 1000));
    EXPECT_TRUE(ended(check.process.pid()));
    EXPECT_EQ(check.process.stop(), 0);
  }
  for (const auto& bad : std::vector<std::vector<std::string>>{{"--mqtt-password", "secret"},
                                                                {"--mqtt", "tcp://h"},
                                                                {"--mqtt-rate", "5"},
                                                                {"--mqtt-bogus", "1"}}) {
    Server s(dir, bad);
    EXPECT_TRUE(s.process.waitForLine("OPCZentarc: " + bad[0], 5000)) << bad[0];
    EXPECT_TRUE(ended(s.process.pid()));
    EXPECT_EQ(s.process.stop(), 2) << bad[0];
  }
}

// The options the run takes: the command line's, else the store's, else the defaults; what
// cannot be used is said.
TEST(MqttSetup, commandLineWinsOverTheStore_unusableStoreValuesAreNoticed_passwordsComeFromAFile) {
  TempDir dir;
  const std::string pw = dir.write("password", "s3cret\r\nignored\n").string();
  ::chmod(pw.c_str(), 0644);
  dir.write("settings.ini", "[SOFTWARE\\TarvelleAutomation\\OPCZentarc]\nMqtt=mqtt://store:1883\nMqttRate=fast\n"
                            "MqttPrefix=site/area\nMqttUser=plant\nMqttPasswordFile=" + pw + "\nMqttBuffer=2\n");
  const settings::SettingsStore store(dir.file("settings.ini").string());
  shell::CommandLine cl;
  cl.mqtt.node = "n1";
  cl.mqtt.write = "on";
  std::vector<std::string> notices;
  std::string error;
  auto o = shell::resolveMqtt(cl, store, notices, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->url, "mqtt://store:1883");
  EXPECT_EQ(o->node, "n1");
  EXPECT_EQ(o->prefix, "site/area");
  EXPECT_EQ(o->rateMs, 1000u);  // "fast" cannot be used
  EXPECT_TRUE(o->write);
  EXPECT_EQ(o->password, "s3cret");
  EXPECT_EQ(o->bufferBytes, 2u * 1024 * 1024);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_NE(notices[0].find("MqttRate=fast"), std::string::npos);
  EXPECT_NE(notices[1].find("can be read by every user"), std::string::npos);

  cl.mqtt.url = "off";
  EXPECT_FALSE(shell::resolveMqtt(cl, store, notices, error));
  EXPECT_EQ(error, "");

  cl.mqtt.url = "mqtt://h";
  cl.mqtt.passwordFile = dir.file("missing").string();
  EXPECT_FALSE(shell::resolveMqtt(cl, store, notices, error));
  EXPECT_NE(error.find("cannot be read"), std::string::npos);
}

TEST(MqttSetup, statusWindowLine_saysConnectedOrWhyNot_withWhatWaitsAndWasDropped) {
  BrokerFigures f;
  f.url = "mqtt://b:1883";
  f.connected = true;
  f.published = 12;
  EXPECT_EQ(shell::brokerStatusLine(f), "MQTT: connected to mqtt://b:1883, 12 published");
  f.connected = false;
  f.lastError = "cannot connect";
  f.buffered = 40;
  f.dropped = 3;
  EXPECT_EQ(shell::brokerStatusLine(f), "MQTT: not connected to mqtt://b:1883: cannot connect, 40 waiting, 3 dropped");
}

}  // namespace
