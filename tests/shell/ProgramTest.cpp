// The OPCZentarc executable itself: its command line and a run without a display.
#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "server/config/ConfigCheck.h"
#include "server/shell/ServerIdentity.h"
#include "server/toolkit/ua/UaClient.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/NotifySocket.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"
#include "tools/plcsim/Simulator.h"

extern char** environ;

namespace {

struct Program {
  zentarc::testsupport::TempDir dir;
  pid_t pid = -1;

  // Starts the program with stdout and stderr into files, settings in the temp folder (whose
  // PKI folder and users file are there too) and no display; `input` is its standard input,
  // `moreEnv` more environment variables.
  void start(const std::vector<std::string>& args, const std::string& input = "",
             const std::vector<std::string>& moreEnv = {}) {
    if (!std::filesystem::exists(dir.file("settings.ini")))
      dir.write("settings.ini", "[SOFTWARE\\TarvelleAutomation\\OPCZentarc]\nPki=" + dir.file("pki").string() +
                                    "\nUsers=" + dir.file("users").string() + "\n");
    dir.write("in", input);
    std::vector<std::string> env = {"OPCZENTARC_SETTINGS=" + dir.file("settings.ini").string(), "PATH=/usr/bin:/bin"};
    env.insert(env.end(), moreEnv.begin(), moreEnv.end());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argvText = {OPCZENTARC_PROGRAM};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, dir.file("in").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  // The exit code, or -1 when the program has not ended within timeoutMs (it is then killed).
  int wait(int timeoutMs = 15000) {
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
    return -1;
  }
  std::string out() const { return zentarc::testsupport::TempDir::read(dir.file("out")); }
  std::string err() const { return zentarc::testsupport::TempDir::read(dir.file("err")); }
  // True once the program's standard error holds `text`, looking for at most `limit`.
  bool waitForErr(const std::string& text, std::chrono::milliseconds limit) const {
    return zentarc::testsupport::waitFor([&] { return err().find(text) != std::string::npos; }, limit);
  }
  ~Program() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// True when something accepts TCP connections on 127.0.0.1:port right now.
bool listening(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

// A subscription with one monitored item on the tag, so that the server polls its PLC.
bool subscribe(zentarc::ua::UaClient& client, const std::string& tag) {
  using namespace zentarc::ua;
  CreateSubscriptionRequest cs;
  cs.requestedPublishingInterval = 100;
  cs.requestedMaxKeepAliveCount = 50;
  cs.requestedLifetimeCount = 600;
  cs.publishingEnabled = true;
  CreateSubscriptionResponse csr;
  if (!client.call(cs, csr).isGood()) return false;
  CreateMonitoredItemsRequest mi;
  mi.subscriptionId = csr.subscriptionId;
  MonitoredItemCreateRequest item;
  item.itemToMonitor.nodeId = NodeId(1, String(tag));
  item.monitoringMode = MonitoringMode::Reporting;
  item.requestedParameters.samplingInterval = 100;
  item.requestedParameters.queueSize = 1;
  mi.itemsToCreate.push_back(item);
  CreateMonitoredItemsResponse mir;
  return client.call(mi, mir).isGood() && mir.results.size() == 1 && mir.results[0].statusCode.isGood();
}

std::string tagConfig(const std::string& address) {
  return zentarc::shelltest::configXml("<PLC name=\"Press\" IPaddress=\"" + address +
                                       "\"><tags><tag><name>Press.Count</name><datatype>VT_I2</datatype>"
                                       "<address>1</address><accessrights>READWRITE</accessrights></tag></tags></PLC>");
}

bool anyContains(const std::vector<std::string>& messages, const std::string& text) {
  for (const auto& m : messages)
    if (m.find(text) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(Program, helpAndBadOptions) {
  Program help;
  help.start({"--help"});
  EXPECT_EQ(help.wait(), 0);
  EXPECT_NE(help.out().find("-RegServer"), std::string::npos);

  Program bad;
  bad.start({"--endpoint"});
  EXPECT_EQ(bad.wait(), 2);
  EXPECT_NE(bad.err().find("--endpoint needs a value"), std::string::npos);
}

TEST(Program, withoutDisplayOrConfigurationItLogsAndEndsByItselfWithAFailureStatus) {
  Program p;
  p.start({"--endpoint", "opc.tcp://127.0.0.1:28620"});
  EXPECT_EQ(p.wait(), 1);
  const std::string err = p.err();
  EXPECT_NE(err.find(zentarc::shell::kNoConfigText), std::string::npos) << err;
  EXPECT_NE(err.find(zentarc::shell::kNoPlcText), std::string::npos) << err;
}

TEST(Program, aConfigurationThatDoesNotParseIsReportedAndEndsWithAFailureStatus) {
  Program p;
  const std::string config = p.dir.write("plant.xml", "<?xml version=\"1.0\"?>\r\n<TarvelleZentarcCfg><OPC_DA>").string();
  p.start({"--headless", "--config", config, "--endpoint", "opc.tcp://127.0.0.1:28622"});
  EXPECT_EQ(p.wait(), 1);
  const std::string err = p.err();
  EXPECT_NE(err.find("could not be read"), std::string::npos) << err;
  EXPECT_NE(err.find(zentarc::shell::kNoPlcText), std::string::npos) << err;
}

TEST(Program, terminationSignalShutsDownInOrder) {
  zentarc::plcsim::Simulator sim({.address = "127.0.6.40"});
  ASSERT_TRUE(sim.start());
  Program p;
  const std::string config = p.dir
                                 .write("plant.xml", zentarc::shelltest::configXml(
                                                         "<PLC name=\"P\" IPaddress=\"127.0.6.40\"><tags></tags></PLC>"))
                                 .string();
  p.start({"--headless", "--config", config, "--endpoint", "opc.tcp://127.0.0.1:28621"});
  ASSERT_TRUE(p.waitForErr("serving OPC UA on opc.tcp://127.0.0.1:28621", std::chrono::milliseconds(10000))) << p.err();
  ::kill(p.pid, SIGTERM);
  EXPECT_EQ(p.wait(), 0) << p.err();
}

TEST(ProgramCheckConfig, exitCodesTellCleanPartlyBadAndUnreadableFilesAndNothingServes) {
  Program clean;
  const std::string good = clean.dir.write("good.xml", tagConfig("127.0.6.52")).string();
  clean.start({"--check-config", good});
  EXPECT_EQ(clean.wait(), zentarc::config::kCheckClean) << clean.out();
  EXPECT_NE(clean.out().find("1 PLC, 1 tag"), std::string::npos) << clean.out();
  EXPECT_NE(clean.out().find("Result: no problem."), std::string::npos);
  EXPECT_EQ(clean.err().find("serving"), std::string::npos) << "no server starts: " << clean.err();

  Program partly;
  const std::string bad =
      partly.dir
          .write("bad.xml", zentarc::shelltest::configXml(
                                "<PLC name=\"Press\" IPaddress=\"127.0.6.52\"><tags>\r\n"
                                "<tag><name>Good</name><datatype>VT_I2</datatype><address>1</address>"
                                "<accessrights>READ</accessrights></tag>\r\n"
                                "<tag><name>Bad</name><datatype>VT_I2</datatype><address>70000</address></tag>\r\n"
                                "</tags></PLC>"))
          .string();
  partly.start({"--check-config=" + bad});
  EXPECT_EQ(partly.wait(), zentarc::config::kCheckProblems);
  EXPECT_NE(partly.out().find("problem: Tag \"Bad\" (PLC \"Press\", line 6)"), std::string::npos) << partly.out();

  Program unreadable;
  unreadable.start({"--check-config", unreadable.dir.file("none.xml").string()});
  EXPECT_EQ(unreadable.wait(), zentarc::config::kCheckUnreadable);
  EXPECT_NE(unreadable.out().find("could not be opened"), std::string::npos) << unreadable.out();

  Program noValue;
  noValue.start({"--check-config"});
  EXPECT_EQ(noValue.wait(), 2);
  EXPECT_NE(noValue.err().find("--check-config needs a value"), std::string::npos);
}

TEST(ProgramUnderSystemd, readyOnlyOnceTheEndpointListensThenPingsAndStopping) {
  zentarc::plcsim::Simulator sim({.address = "127.0.6.50"});
  ASSERT_TRUE(sim.start());
  Program p;
  zentarc::testsupport::NotifySocket notify(p.dir.file("notify").string());
  ASSERT_TRUE(notify.ok());
  const std::string config = p.dir.write("plant.xml", tagConfig("127.0.6.50")).string();
  // Pings every 200 ms: half the period systemd asks for.
  p.start({"--headless", "--config", config, "--endpoint", "opc.tcp://127.0.0.1:28630", "--security=None"}, "",
          {"NOTIFY_SOCKET=" + notify.path(), "WATCHDOG_USEC=400000"});

  bool ready = false;
  const auto before = notify.receiveUntil("READY=1", std::chrono::milliseconds(15000), ready);
  ASSERT_TRUE(ready) << p.err();
  EXPECT_TRUE(listening(28630)) << "READY=1 came before the endpoint listened";
  EXPECT_FALSE(anyContains(before, "WATCHDOG=1")) << "pings start with readiness";
  EXPECT_EQ(before.back(), "READY=1\nSTATUS=1 PLC, 0 failing");

  int pings = 0;
  for (int i = 0; i < 50 && pings < 3; ++i) {
    auto m = notify.receive(std::chrono::milliseconds(1000));
    if (!m) break;
    pings += *m == "WATCHDOG=1";
  }
  EXPECT_EQ(pings, 3);

  ::kill(p.pid, SIGTERM);
  bool stopping = false;
  notify.receiveUntil("STOPPING=1", std::chrono::milliseconds(15000), stopping);
  EXPECT_TRUE(stopping);
  EXPECT_EQ(p.wait(), 0) << p.err();
}

TEST(ProgramUnderSystemd, theStatusLineCountsAPlcThatFailsAndRecovers) {
  Program p;
  zentarc::testsupport::NotifySocket notify(p.dir.file("notify").string());
  ASSERT_TRUE(notify.ok());
  const std::string config = p.dir.write("plant.xml", tagConfig("127.0.6.51")).string();
  p.start({"--headless", "--config", config, "--endpoint", "opc.tcp://127.0.0.1:28631", "--security=None"}, "",
          {"NOTIFY_SOCKET=" + notify.path()});
  bool ready = false;
  notify.receiveUntil("READY=1", std::chrono::milliseconds(15000), ready);
  ASSERT_TRUE(ready) << p.err();

  // A subscribed tag makes the server poll its PLC, which is not there yet.
  zentarc::ua::UaClient client;
  ASSERT_TRUE(client.connect("opc.tcp://127.0.0.1:28631").isGood()) << client.errorText();
  ASSERT_TRUE(subscribe(client, "Press.Count"));
  bool failing = false;
  notify.receiveUntil("STATUS=1 PLC, 1 failing", std::chrono::milliseconds(15000), failing);
  EXPECT_TRUE(failing) << p.err();

  zentarc::plcsim::Simulator sim({.address = "127.0.6.51"});
  ASSERT_TRUE(sim.start());
  bool recovered = false;
  notify.receiveUntil("STATUS=1 PLC, 0 failing", std::chrono::milliseconds(15000), recovered);
  EXPECT_TRUE(recovered) << p.err();
  // The log has both: the failure (a warning in the journal) and the recovery (a notice);
  // priorities are written only when standard error is the journal, so here the texts.
  EXPECT_TRUE(zentarc::testsupport::waitFor(
      [&] { return p.err().find("PLC Press: communication working") != std::string::npos; },
      std::chrono::milliseconds(5000)))
      << p.err();
  EXPECT_NE(p.err().find("on Press (code"), std::string::npos) << p.err();
  client.disconnect();

  ::kill(p.pid, SIGTERM);
  EXPECT_EQ(p.wait(), 0);
}

// The program made secure by default: its certificate in the store's PKI folder, no None.
TEST(Program, securedByDefault_makesItsCertificate_andWarnsOfNothing) {
  Program p;
  p.start({"--headless", "--endpoint", "opc.tcp://127.0.0.1:28624"});
  // Ends it whether or not it came to serve: what it said by then is what counts.
  p.waitForErr("serving OPC UA on", std::chrono::milliseconds(15000));
  ::kill(p.pid, SIGTERM);
  p.wait();
  const std::string err = p.err();
  EXPECT_TRUE(std::filesystem::exists(p.dir.file("pki") / "own/certs/OPCZentarc.der")) << err;
  EXPECT_NE(err.find("certificates in " + p.dir.file("pki").string()), std::string::npos) << err;
  EXPECT_EQ(err.find("warning: SecurityPolicy None"), std::string::npos) << err;
  EXPECT_EQ(err.find("warning: anonymous clients may write"), std::string::npos) << err;
}

TEST(Program, noneAndAnonymousWriting_areWarnedOfAtStart) {
  Program p;
  p.start({"--headless", "--endpoint", "opc.tcp://127.0.0.1:28625", "--security=None", "--anonymous", "write"});
  // Ends it whether or not it came to serve: what it said by then is what counts.
  p.waitForErr("serving OPC UA on", std::chrono::milliseconds(15000));
  ::kill(p.pid, SIGTERM);
  p.wait();
  const std::string err = p.err();
  EXPECT_NE(err.find("warning: SecurityPolicy None is offered"), std::string::npos) << err;
  EXPECT_NE(err.find("warning: anonymous clients may write to the PLCs"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(p.dir.file("pki"))) << "None alone needs no certificate";
}

TEST(Program, addUser_readsThePasswordFromStandardInput_removeUserTakesItAway) {
  Program add;
  add.start({"--add-user", "alice", "--role", "writer"}, "s3cret-pw\n");
  EXPECT_EQ(add.wait(), 0) << add.err();
  const std::string users = zentarc::testsupport::TempDir::read(add.dir.file("users"));
  EXPECT_EQ(users.rfind("alice:writer:pbkdf2-sha256$100000$", 0), 0u) << users;
  EXPECT_EQ(users.find("s3cret"), std::string::npos);
  EXPECT_EQ(add.err().find("s3cret"), std::string::npos);
  EXPECT_EQ(std::filesystem::status(add.dir.file("users")).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read);
  Program remove;
  remove.start({"--remove-user=alice", "--users", add.dir.file("users").string()});
  EXPECT_EQ(remove.wait(), 0) << remove.err();
  EXPECT_EQ(zentarc::testsupport::TempDir::read(add.dir.file("users")), "");
  Program again;
  again.start({"--remove-user", "alice", "--users", add.dir.file("users").string()});
  EXPECT_EQ(again.wait(), 1);
  EXPECT_NE(again.err().find("no user \"alice\""), std::string::npos) << again.err();
  Program bad;
  bad.start({"--add-user", "bob"});
  EXPECT_EQ(bad.wait(), 2);
  EXPECT_NE(bad.err().find("--add-user needs --role"), std::string::npos) << bad.err();
}
