// The whole program in this process: registration runs, the no-configuration run, runs
// started on demand or by hand against a simulated PLC, orderly shut-down with a client
// connected, and a start that cannot serve.
#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <chrono>
#include <thread>

#include <QTimer>

#include <netinet/in.h>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/shell/HeadlessUi.h"
#include "server/shell/ServerIdentity.h"
#include "server/shell/ServerShell.h"
#include "server/shell/StatusWindow.h"
#include "server/toolkit/ua/NodeIds.h"
#include "server/toolkit/ua/UaClient.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"
#include "tools/plcsim/Simulator.h"

using namespace zentarc;
using namespace zentarc::shell;
using namespace std::chrono_literals;

namespace {

std::string endpointFor(int port) { return "opc.tcp://127.0.0.1:" + std::to_string(port); }

using zentarc::testsupport::waitFor;

struct ShellRun {
  testsupport::TempDir dir;
  shelltest::RecordingPrompter prompter;
  shelltest::CapturedLog log;
  ShellOptions options;
  std::atomic<bool> watchdogFired{false};

  ShellRun(std::vector<std::string> args, int port) {
    args.push_back("--endpoint");
    args.push_back(endpointFor(port));
    // These runs are about the lifecycle: the plain channel our client speaks, and nothing
    // of the machine's PKI folder or users file.
    for (const char* option : {"--security", "--anonymous", "--pki", "--users"})
      if (std::find(args.begin(), args.end(), option) == args.end()) {
        args.push_back(option);
        args.push_back(std::string(option) == "--security"    ? std::string("None")
                       : std::string(option) == "--anonymous" ? std::string("write")
                                                              : dir.file(option + 2).string());
      }
    options.commandLine = parseCommandLine(args);
    options.executablePath = dir.file("OPCZentarc").string();
    options.settingsPath = dir.file("settings.ini").string();
    options.entry = shelltest::freshEntry();
    options.shutdownGrace = 600ms;
  }
  void configure(const std::string& plcs) { dir.write("OPCZentarc.xml", shelltest::configXml(plcs)); }
  // Runs the program on this thread; the watchdog closes it after 20 s at the latest.
  int run(ShellUi& ui, ServerShell& shell) {
    QTimer::singleShot(20000, [&] {
      watchdogFired = true;
      ui.postClose();
    });
    return shell.run();
  }
};

std::string onePlc(const std::string& address) {
  return "<PLC name=\"Press\" IPaddress=\"" + address +
         "\"><tags><tag><name>Press.Count</name><comment>c</comment><datatype>VT_I2</datatype>"
         "<address>1</address><accessrights>READWRITE</accessrights></tag></tags></PLC>\r\n";
}

// A client session on the server, opened as soon as the server listens.
bool connectWhenUp(ua::UaClient& client, int port) {
  return waitFor([&] { return client.connect(endpointFor(port)).isGood(); }, 10000ms);
}

}  // namespace

TEST(ServerShellRegistration, registerWritesTheRecordAndCreatesNothingElse) {
  ShellRun r({"-RegServer"}, 28600);
  shelltest::RecordingPrompter unused;
  StatusWindow window(&unused);
  ServerShell shell(r.options, window, r.log.log());
  EXPECT_EQ(shell.run(), 0);
  const ServerShell::Made& made = shell.made();
  EXPECT_FALSE(made.eventHandler || made.deviceList || made.link || made.queues || made.pollingThread ||
               made.serving);
  EXPECT_FALSE(window.isVisible());

  settings::SettingsStore store(r.options.settingsPath);
  const std::string key = registrationKey(kClassId);
  EXPECT_EQ(store.read(key, "ProgID").value_or(""), kProgId);
  EXPECT_EQ(store.read(key, "VersionIndependentProgID").value_or(""), kVersionIndependentProgId);
  EXPECT_EQ(store.read(key, "Description").value_or(""), kDescription);
  EXPECT_EQ(store.read(key, "Executable").value_or(""), r.options.executablePath);
  EXPECT_EQ(store.read(key, "Endpoint").value_or(""), endpointFor(28600));
  EXPECT_EQ(store.read(key, "Version").value_or(""), "1.10.100");

  ShellRun u({"/unregserver"}, 28600);
  u.options.settingsPath = r.options.settingsPath;
  StatusWindow window2(&unused);
  ServerShell unreg(u.options, window2, u.log.log());
  EXPECT_EQ(unreg.run(), 0);
  EXPECT_FALSE(store.hasKey(key));
}

TEST(ServerShellRegistration, storeThatCannotBeWrittenIsReportedAndFails) {
  ShellRun r({"-regserver"}, 28601);
  r.options.settingsPath = r.dir.file("no-such-folder/settings.ini").string();
  HeadlessUi ui(r.log.log());
  ServerShell shell(r.options, ui, r.log.log());
  EXPECT_EQ(shell.run(), 1);
  EXPECT_NE(r.log.text().find("registration failed"), std::string::npos);
  EXPECT_FALSE(shell.made().queues);
}

TEST(ServerShellRun, noConfigurationWarnsOnceThenTheNoPlcMessageClosesWithAFailure) {
  ShellRun r({}, 28602);
  StatusWindow window(&r.prompter);
  ServerShell shell(r.options, window, r.log.log());
  EXPECT_EQ(r.run(window, shell), 1);
  EXPECT_FALSE(r.watchdogFired);
  const auto shown = r.prompter.shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], std::make_pair(std::string(kConfigCaption), std::string(kNoConfigText)));
  EXPECT_EQ(shown[1], std::make_pair(std::string(kNoPlcCaption), std::string(kNoPlcText)));
  EXPECT_TRUE(shell.made().pollingThread);
  EXPECT_TRUE(window.gone());
}

TEST(ServerShellRun, headlessRunLogsTheSameMessagesAndEndsTheSameWay) {
  ShellRun r({"--headless"}, 28603);
  HeadlessUi ui(r.log.log());
  ServerShell shell(r.options, ui, r.log.log());
  EXPECT_EQ(r.run(ui, shell), 1);
  EXPECT_FALSE(r.watchdogFired);
  const std::string text = r.log.text();
  const std::string warningLine = std::string("warning: ") + kConfigCaption + ": " + kNoConfigText;
  const auto warning = text.find(warningLine);
  const auto noPlc = text.find(std::string("warning: ") + kNoPlcCaption + ": " + kNoPlcText);
  ASSERT_NE(warning, std::string::npos) << text;
  ASSERT_NE(noPlc, std::string::npos) << text;
  EXPECT_LT(warning, noPlc);
  EXPECT_EQ(text.find(kNoConfigText, warning + warningLine.size()), std::string::npos);  // once only
}

TEST(ServerShellRun, twoHyphensBeforeRegserverServeInstead) {
  ShellRun r({"--regserver"}, 28604);
  plcsim::Simulator sim({.address = "127.0.6.4"});
  ASSERT_TRUE(sim.start());
  r.configure(onePlc("127.0.6.4"));
  HeadlessUi ui(r.log.log());
  ServerShell shell(r.options, ui, r.log.log());
  QTimer::singleShot(300, [&] { ui.postClose(); });
  EXPECT_EQ(r.run(ui, shell), 0);
  EXPECT_TRUE(shell.made().serving);
  EXPECT_FALSE(settings::SettingsStore(r.options.settingsPath).hasKey(registrationKey(kClassId)));
  EXPECT_NE(r.log.text().find("unknown option \"--regserver\""), std::string::npos);
}

TEST(ServerShellRun, startedOnDemandEndsWhenTheLastSessionCloses) {
  ShellRun r({"-Embedding"}, 28605);
  plcsim::Simulator sim({.address = "127.0.6.5"});
  ASSERT_TRUE(sim.start());
  r.configure(onePlc("127.0.6.5"));
  HeadlessUi ui(r.log.log());
  ServerShell shell(r.options, ui, r.log.log());
  std::atomic<bool> connected{false};
  std::thread client([&] {
    ua::UaClient c;
    connected = connectWhenUp(c, 28605);
    std::this_thread::sleep_for(200ms);
    c.disconnect();
  });
  const int code = r.run(ui, shell);
  client.join();
  EXPECT_TRUE(connected);
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(r.watchdogFired);
}

TEST(ServerShellRun, startedByHandKeepsRunningWithoutClients) {
  ShellRun r({}, 28606);
  plcsim::Simulator sim({.address = "127.0.6.6"});
  ASSERT_TRUE(sim.start());
  r.configure(onePlc("127.0.6.6"));
  HeadlessUi ui(r.log.log());
  ServerShell shell(r.options, ui, r.log.log());
  std::atomic<bool> returned{false};
  std::atomic<bool> stillRunning{false};
  std::thread client([&] {
    ua::UaClient c;
    if (connectWhenUp(c, 28606)) c.disconnect();
    std::this_thread::sleep_for(700ms);
    stillRunning = !returned;
    ui.postClose();
  });
  const int code = r.run(ui, shell);
  returned = true;
  client.join();
  EXPECT_TRUE(stillRunning);
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(r.watchdogFired);
}

TEST(ServerShellRun, closingWithAClientConnectedTellsItAndEndsEverything) {
  ShellRun r({}, 28607);
  plcsim::Simulator sim({.address = "127.0.6.7"});
  ASSERT_TRUE(sim.start());
  sim.setRegister(0, 321);
  r.configure(onePlc("127.0.6.7"));
  StatusWindow window(&r.prompter);
  ServerShell shell(r.options, window, r.log.log());
  std::atomic<bool> readFromPlc{false}, sawShutdown{false}, connectionClosed{false}, diagnosticsServed{false};
  std::atomic<std::size_t> plcConnections{0};
  std::thread client([&] {
    ua::UaClient c;
    if (!connectWhenUp(c, 28607)) {
      window.postClose();
      return;
    }
    std::vector<ua::DataValue> values;
    ua::ReadValueId tag;
    tag.nodeId = ua::NodeId(1, ua::String("Press.Count"));
    if (c.read({tag}, values, 0).isGood() && values.size() == 1 && values[0].value &&
        values[0].value->get<int16_t>() && *values[0].value->get<int16_t>() == 321)
      readFromPlc = true;
    // The PLC's diagnostics, from its worker's status, and the server's count of PLCs.
    ua::ReadValueId connected, plcs;
    connected.nodeId = ua::NodeId(1, ua::String("Press/Diagnostics/Connected"));
    plcs.nodeId = ua::NodeId(1, 4u);
    values.clear();
    if (c.read({connected, plcs}, values, 0).isGood() && values.size() == 2 && values[0].value &&
        values[0].value->get<bool>() && *values[0].value->get<bool>() && values[1].value &&
        values[1].value->get<uint32_t>() && *values[1].value->get<uint32_t>() == 1)
      diagnosticsServed = true;
    plcConnections = sim.openConnections();
    window.postClose();
    ua::ReadValueId state;
    state.nodeId = ua::NodeId::numeric(ua::Id::Server_ServerStatus_State);
    for (int i = 0; i < 200; ++i) {
      values.clear();
      // The diagnostics stay readable while the shut-down lets go of the devices.
      const ua::StatusCode st = c.read({state, connected}, values, 0);
      if (!st.isGood()) {
        connectionClosed = true;
        break;
      }
      if (values.size() == 2 && values[0].value && values[0].value->get<int32_t>() &&
          *values[0].value->get<int32_t>() == 4)
        sawShutdown = true;
      std::this_thread::sleep_for(20ms);
    }
  });
  const int code = r.run(window, shell);
  client.join();
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(r.watchdogFired);
  EXPECT_TRUE(readFromPlc);
  EXPECT_TRUE(diagnosticsServed);
  EXPECT_EQ(plcConnections, 1u);
  EXPECT_TRUE(sawShutdown);
  EXPECT_TRUE(connectionClosed);
  // The PLC workers have ended and closed their connections.
  EXPECT_TRUE(waitFor([&] { return sim.openConnections() == 0; }));
  EXPECT_EQ(shell.devices(), nullptr);
  EXPECT_EQ(shell.queues(), nullptr);
}

TEST(ServerShellRun, startThatCannotServeIsTracedAndFails) {
  // Something else holds the port.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(28608);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  ShellRun r({}, 28608);
  StatusWindow window(&r.prompter);
  ServerShell shell(r.options, window, r.log.log());
  EXPECT_EQ(r.run(window, shell), 1);
  ::close(fd);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(shell.made().serving);
  EXPECT_NE(r.log.text().find(kStartTraceText), std::string::npos);
}

TEST(ServerShellRegistration, endpointComesFromTheCommandLineElseTheStore) {
  testsupport::TempDir dir;
  shelltest::CapturedLog log;
  ShellOptions options;
  options.settingsPath = dir.file("settings.ini").string();
  settings::SettingsStore store(options.settingsPath);
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kEndpointValue, "opc.tcp://127.0.0.1:28609"));
  HeadlessUi ui(log.log());
  options.commandLine = parseCommandLine({"-regserver"});
  options.entry = shelltest::freshEntry();
  EXPECT_EQ(ServerShell(options, ui, log.log()).endpointUrl(), "opc.tcp://127.0.0.1:28609");
  options.commandLine = parseCommandLine({"-regserver", "--endpoint", "opc.tcp://127.0.0.1:28610"});
  EXPECT_EQ(ServerShell(options, ui, log.log()).endpointUrl(), "opc.tcp://127.0.0.1:28610");
  options.settingsPath = dir.file("none.ini").string();
  options.commandLine = parseCommandLine({});
  EXPECT_EQ(ServerShell(options, ui, log.log()).endpointUrl(), "opc.tcp://0.0.0.0:4840");
}

TEST(ServerShellRun, whileServingTheWatchdogWatchesThePollingAndOpcUaLoopsAndTheyBeat) {
  ShellRun r({}, 28632);
  plcsim::Simulator sim({.address = "127.0.6.53"});
  ASSERT_TRUE(sim.start());
  r.configure(onePlc("127.0.6.53"));
  HeadlessUi ui(r.log.log());
  ServerShell shell(r.options, ui, r.log.log());
  std::atomic<bool> watched{false}, beating{false};
  std::vector<std::string> judged;
  std::thread client([&] {
    ua::UaClient c;
    if (connectWhenUp(c, 28632)) {
      c.disconnect();
      // Both loops beat while idle: 300 ms after the start the UA loop has beaten within the
      // last 200 ms, and the PLC worker, whose idle wait ends at least once a second, within
      // the last 1.5 s.
      std::this_thread::sleep_for(300ms);
      const auto now = Heartbeat::Clock::now();
      const auto uaNearlyDue = shell.liveness().stuck(now + kUaPassBound - 200ms);
      const auto pollingNearlyDue = shell.liveness().stuck(now + kPollingPassBound - 1500ms);
      beating = shell.liveness().size() == 2 && uaNearlyDue.size() <= 1 && pollingNearlyDue.empty();
      for (const auto& s : uaNearlyDue) beating = beating && s.name == "PLC worker of Press";
      // Each is judged stuck after its own bound of silence.
      for (const auto& s : shell.liveness().stuck(now + std::max(kPollingPassBound, kUaPassBound) + 1000ms))
        judged.push_back(s.name);
      watched = true;
    }
    ui.postClose();
  });
  EXPECT_EQ(r.run(ui, shell), 0);
  client.join();
  ASSERT_TRUE(watched);
  EXPECT_TRUE(beating);
  EXPECT_EQ(judged, (std::vector<std::string>{"PLC worker of Press", "OPC UA thread"}));
  EXPECT_EQ(shell.liveness().size(), 0u) << "shut-down is no longer watched";
  EXPECT_FALSE(r.watchdogFired);
}

TEST(ServerShellRun, aLargeReadOfASlowPlcKeepsItsWorkerAliveForAWatchdogOfAFewSeconds) {
  ShellRun r({}, 28665);
  r.options.pollingStuckBound = 2500ms;  // shortened from 10 s
  // Twelve tags 600 registers apart on a PLC that answers 800 ms late: about 10 s of messages.
  plcsim::Simulator sim({.address = "127.0.26.45", .faults = {.delayMs = 800}});
  ASSERT_TRUE(sim.start());
  std::string tags;
  for (int i = 0; i < 12; ++i)
    tags += "<tag><name>S" + std::to_string(i) + "</name><datatype>VT_I2</datatype><address>" +
            std::to_string(1 + 600 * i) + "</address><accessrights>READ</accessrights></tag>";
  r.configure("<PLC name=\"Slow\" IPaddress=\"127.0.26.45\"><tags>" + tags + "</tags></PLC>");
  HeadlessUi ui(r.log.log());
  ServerShell shell(r.options, ui, r.log.log());
  std::atomic<bool> read{false};
  std::vector<std::string> stuck;
  std::thread client([&] {
    ua::UaClientOptions options;
    options.timeout = 20000ms;
    ua::UaClient c(options);
    if (connectWhenUp(c, 28665)) {
      std::vector<ua::ReadValueId> nodes;
      for (int i = 0; i < 12; ++i) {
        nodes.push_back({ua::NodeId(1, ua::String("S" + std::to_string(i)))});
        nodes.back().attributeId = static_cast<uint32_t>(ua::AttributeId::Value);
      }
      std::atomic<bool> done{false};
      std::thread watch([&] {
        while (!done) {
          for (const auto& s : shell.liveness().stuck()) stuck.push_back(s.name);
          std::this_thread::sleep_for(100ms);
        }
      });
      std::vector<ua::DataValue> results;
      read = c.read(nodes, results, 0).isGood() && results.size() == 12 && sim.stats().reads == 12;
      done = true;
      watch.join();
      c.disconnect();
    }
    ui.postClose();
  });
  EXPECT_EQ(r.run(ui, shell), 0);
  client.join();
  EXPECT_TRUE(read);
  EXPECT_EQ(stuck, std::vector<std::string>{}) << "the watchdog would have restarted the service";
  EXPECT_FALSE(r.watchdogFired);
}
