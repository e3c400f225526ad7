// The program under the faults of a plant: a stop while writes wait for a slow PLC, a Read
// across a slow PLC, SIGHUP, a display that cannot be reached, and a start that fails.
// PLCs on 127.0.26.4x, OPC UA on 127.0.0.1:2866x.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <mutex>

#include "server/shell/ServerIdentity.h"
#include "tests/shell/ProgramRunner.h"
#include "tests/shell/ShellTestSupport.h"
#include "tools/plcsim/Simulator.h"

using namespace zentarc;
using namespace std::chrono_literals;
using shelltest::Program;
using testsupport::waitFor;

namespace {

// A PLC element with `n` VT_I2 tags <prefix>0.. `spacing` registers apart, readable and writable.
std::string plcWithTags(const std::string& name, const std::string& address, const std::string& prefix, int n,
                        int spacing) {
  std::string tags;
  for (int i = 0; i < n; ++i)
    tags += "<tag><name>" + prefix + std::to_string(i) + "</name><datatype>VT_I2</datatype><address>" +
            std::to_string(1 + i * spacing) + "</address><accessrights>READWRITE</accessrights></tag>";
  return "<PLC name=\"" + name + "\" IPaddress=\"" + address + "\"><tags>" + tags + "</tags></PLC>";
}

// Starts the program headless on `port` with the configuration, plain and writable for
// anonymous clients; false when it does not come to serve.
bool serve(Program& p, const std::string& plcs, int port, const std::vector<std::string>& env = {}) {
  const std::string config = p.dir.write("plant.xml", shelltest::configXml(plcs)).string();
  p.start({"--headless", "--config", config, "--endpoint", "opc.tcp://127.0.0.1:" + std::to_string(port),
           "--security=None", "--anonymous", "write"},
          "", env);
  return p.waitForErr("serving OPC UA on", 15000ms);
}

ua::WriteValue int16Write(const std::string& tag, std::int16_t value) {
  ua::WriteValue w;
  w.nodeId = ua::NodeId(1, ua::String(tag));
  w.attributeId = static_cast<std::uint32_t>(ua::AttributeId::Value);
  w.value.value = ua::Variant::of(value);
  return w;
}

}  // namespace

TEST(ProgramFaults, sigtermAnswersEveryWriteAsThePlcGotItAndSaysHowManyWereNotSent) {
  plcsim::Simulator sim({.address = "127.0.26.40", .faults = {.delayMs = 800}});
  ASSERT_TRUE(sim.start());
  Program p;
  // Tags two registers apart: each write is a message of its own, 800 ms each.
  ASSERT_TRUE(serve(p, plcWithTags("P", "127.0.26.40", "W", 20, 2), 28660)) << p.err();
  std::vector<ua::StatusCode> answers(20, ua::StatusCode(ua::Status::BadInternalError));
  std::vector<std::string> failures(20);
  std::atomic<int> connected{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 20; ++i)
    clients.emplace_back([&, i] {
      ua::UaClient c;
      if (!c.connect("opc.tcp://127.0.0.1:28660").isGood()) {
        failures[i] = "connect: " + c.errorText();
        ++connected;
        return;
      }
      ++connected;
      std::vector<ua::StatusCode> results;
      const ua::StatusCode st = c.write({int16Write("W" + std::to_string(i), static_cast<std::int16_t>(100 + i))}, results);
      if (!st.isGood() || results.size() != 1) failures[i] = "write: " + c.errorText();
      else answers[i] = results[0];
    });
  ASSERT_TRUE(waitFor([&] { return connected == 20; }, 10000ms));
  std::this_thread::sleep_for(2000ms);
  ::kill(p.pid, SIGTERM);
  for (auto& t : clients) t.join();
  EXPECT_EQ(p.wait(), 0) << p.err();
  std::this_thread::sleep_for(1000ms);  // nothing may reach the PLC after its client was answered
  int good = 0;
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(failures[i], "") << i << " got no answer";
    const bool written = sim.registerValue(static_cast<std::uint16_t>(2 * i)) == 100 + i;
    EXPECT_EQ(answers[i].isGood(), written) << i << " " << ua::statusCodeName(answers[i]);
    if (!written) EXPECT_EQ(answers[i], ua::StatusCode(ua::Status::BadCommunicationError)) << i;
    good += written;
  }
  EXPECT_GT(good, 0);
  EXPECT_LT(good, 20);
  EXPECT_EQ(sim.stats().writes, static_cast<std::uint64_t>(good));
  EXPECT_NE(p.err().find(std::to_string(20 - good) + " writes were not sent to the PLCs"), std::string::npos) << p.err();
}

TEST(ProgramFaults, aReadAcrossASlowPlcIsAnsweredBeforeItsTimeoutHintWithTheFastPlcsValues) {
  plcsim::Simulator fast({.address = "127.0.26.41"});
  plcsim::Simulator slow({.address = "127.0.26.42", .faults = {.delayMs = 700}});
  ASSERT_TRUE(fast.start());
  ASSERT_TRUE(slow.start());
  fast.setRegister(0, 7);
  Program p;
  // The slow PLC's tags lie 600 registers apart: one message of 700 ms each, 14 s for all.
  ASSERT_TRUE(serve(p, plcWithTags("Fast", "127.0.26.41", "F", 50, 1) + plcWithTags("Slow", "127.0.26.42", "S", 20, 600),
                    28661))
      << p.err();
  ua::UaClientOptions options;
  options.timeout = 4000ms;  // sent as the Read's timeoutHint
  ua::UaClient c(options);
  ASSERT_TRUE(c.connect("opc.tcp://127.0.0.1:28661").isGood()) << c.errorText();
  std::vector<ua::ReadValueId> nodes;
  for (int i = 0; i < 50; ++i) nodes.push_back({ua::NodeId(1, ua::String("F" + std::to_string(i)))});
  for (int i = 0; i < 20; ++i) nodes.push_back({ua::NodeId(1, ua::String("S" + std::to_string(i)))});
  for (auto& n : nodes) n.attributeId = static_cast<std::uint32_t>(ua::AttributeId::Value);
  std::vector<ua::DataValue> results;
  const auto started = std::chrono::steady_clock::now();
  const ua::StatusCode st = c.read(nodes, results, 0);
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_TRUE(st.isGood()) << c.errorText();
  EXPECT_LT(took, 4000ms);
  ASSERT_EQ(results.size(), 70u);
  for (int i = 0; i < 50; ++i) EXPECT_FALSE(results[i].status && results[i].status->isBad()) << i;
  EXPECT_EQ(results[0].value, ua::Variant::of(std::int16_t{7}));
  int timedOut = 0;
  for (int i = 50; i < 70; ++i) timedOut += results[i].status == ua::StatusCode(ua::Status::BadTimeout);
  EXPECT_GE(timedOut, 10);
  // The reads answered without their value are not sent for.
  const auto readsThen = slow.stats().reads;
  std::this_thread::sleep_for(2000ms);
  EXPECT_LE(slow.stats().reads, readsThen + 1);
  c.disconnect();
  ::kill(p.pid, SIGTERM);
  EXPECT_EQ(p.wait(), 0);
}

TEST(ProgramFaults, sighupIsLoggedAndTheServerGoesOn) {
  plcsim::Simulator sim({.address = "127.0.26.43"});
  ASSERT_TRUE(sim.start());
  Program p;
  ASSERT_TRUE(serve(p, plcWithTags("P", "127.0.26.43", "T", 1, 1), 28662)) << p.err();
  ::kill(p.pid, SIGHUP);
  ASSERT_TRUE(p.waitForErr("SIGHUP received: the configuration is read only at start", 5000ms)) << p.err();
  ua::UaClient c;
  EXPECT_TRUE(c.connect("opc.tcp://127.0.0.1:28662").isGood()) << "still serving: " << c.errorText();
  c.disconnect();
  ::kill(p.pid, SIGTERM);
  EXPECT_EQ(p.wait(), 0) << p.err();
}

TEST(ProgramFaults, aDisplayThatCannotBeReachedMeansRunningWithoutAWindow) {
  plcsim::Simulator sim({.address = "127.0.26.44"});
  ASSERT_TRUE(sim.start());
  Program p;
  const std::string config = p.dir.write("plant.xml", shelltest::configXml(plcWithTags("P", "127.0.26.44", "T", 1, 1))).string();
  p.start({"--config", config, "--endpoint", "opc.tcp://127.0.0.1:28663", "--security=None"}, "", {"DISPLAY=:99"});
  ASSERT_TRUE(p.waitForErr("serving OPC UA on", 15000ms)) << p.err();
  EXPECT_NE(p.err().find("warning: the display DISPLAY=:99 cannot be reached; running without a window"),
            std::string::npos)
      << p.err();
  ::kill(p.pid, SIGTERM);
  EXPECT_EQ(p.wait(), 0) << p.err();
}

TEST(ProgramFaults, whatEndsAFailedStartIsAnErrorInTheJournal) {
  Program p;
  // Standard error is "the journal": its device and inode are in JOURNAL_STREAM.
  p.dir.write("err", "");
  struct stat st {};
  ASSERT_EQ(::stat(p.dir.file("err").c_str(), &st), 0);
  p.start({"--endpoint", "opc.tcp://127.0.0.1:28664"}, "",
          {"JOURNAL_STREAM=" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)});
  EXPECT_EQ(p.wait(), 1);
  const std::string err = p.err();
  EXPECT_NE(err.find(std::string("<4>")), std::string::npos) << err;  // the missing file, a warning
  const auto error = err.find("<3>");
  ASSERT_NE(error, std::string::npos) << err;
  EXPECT_NE(err.find("error: the server ends: no configuration could be loaded", error), std::string::npos) << err;

  Program badOption;
  badOption.dir.write("err", "");
  ASSERT_EQ(::stat(badOption.dir.file("err").c_str(), &st), 0);
  badOption.start({"--endpoint"}, "", {"JOURNAL_STREAM=" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)});
  EXPECT_EQ(badOption.wait(), 2);
  EXPECT_EQ(badOption.err().rfind("<3>OPCZentarc: --endpoint needs a value", 0), 0u) << badOption.err();
}
