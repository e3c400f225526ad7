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
#include "tests/shell/ProgramRunner.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/NotifySocket.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"
#include "tools/plcsim/Simulator.h"

using zentarc::shelltest::listening;
using zentarc::shelltest::Program;
using zentarc::shelltest::subscribe;

namespace {

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
      [&] { return p.err().find("notice: PLC Press: communication working") != std::string::npos; },
      std::chrono::milliseconds(8000)))
      << p.err();
  EXPECT_NE(p.err().find("warning: Cannot connect to the PLC on port 18245 on Press (code 32)"), std::string::npos)
      << p.err();
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
