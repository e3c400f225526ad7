// The simulated PLC itself: what it checks, refuses and reports, and its command-line names.
#include "tools/plcsim/Simulator.h"

#include <gtest/gtest.h>

#include <random>

#include "server/plc/GeLink.h"
#include "tests/plc/RawSocket.h"
#include "tools/plcsim/AddressRange.h"
#include "tools/plcsim/RegisterNames.h"

using namespace zentarc::plcsim;
using zentarc::testplc::RawSocket;
namespace ge = zentarc::plc::ge;

namespace {

std::vector<std::uint8_t> vec(const ge::Header& h) { return {h.begin(), h.end()}; }

void handshake(const RawSocket& client) {
  ASSERT_TRUE(client.sendAll(vec(ge::handshakeHello())));
  ASSERT_EQ(client.receive(56).size(), 56u);
  ASSERT_TRUE(client.sendAll(vec(ge::handshakeOpen())));
  const auto answer = client.receive(56);
  ASSERT_EQ(answer.size(), 56u);
  ASSERT_EQ(answer[31], 0xD4);
}

}  // namespace

TEST(Simulator, requestWithAWrongByteIsRefusedAndLogged) {
  Simulator sim({.address = "127.0.2.100"});
  ASSERT_TRUE(sim.start());
  RawSocket client = RawSocket::connectTo("127.0.2.100");
  ASSERT_TRUE(client.valid());
  handshake(client);
  auto bad = vec(ge::readRequest(2, 0, 1));
  bad[9] = 0x05;
  ASSERT_TRUE(client.sendAll(bad));
  const auto answer = client.receive(56);
  ASSERT_EQ(answer.size(), 56u);
  EXPECT_EQ(answer[31], 0xD1);
  EXPECT_EQ(answer[2], 2);
  EXPECT_EQ(sim.stats().layoutErrors, 1u);
  EXPECT_NE(sim.log().back().request.problem.find("byte 9"), std::string::npos);
  EXPECT_EQ(sim.log().back().outcome, Outcome::Refused);
}

TEST(Simulator, requestsBeforeTheHandshakeAndLongWritesWithAWrongLengthAreRefused) {
  Simulator sim({.address = "127.0.2.101"});
  ASSERT_TRUE(sim.start());
  RawSocket client = RawSocket::connectTo("127.0.2.101");
  ASSERT_TRUE(client.valid());
  ASSERT_TRUE(client.sendAll(vec(ge::readRequest(2, 0, 1))));
  EXPECT_EQ(client.receive(56).at(31), 0xD1);
  handshake(client);
  const std::vector<std::uint16_t> values(6, 1);
  auto longWrite = ge::longWriteRequest(3, 0, values.data(), 6);
  longWrite[54] = 7;  // claims 7 registers in the room of 6
  ASSERT_TRUE(client.sendAll(longWrite));
  EXPECT_EQ(client.receive(56).at(31), 0xD1);
  EXPECT_EQ(sim.stats().layoutErrors, 2u);
  EXPECT_EQ(sim.stats().writes, 0u);
  EXPECT_EQ(sim.registerValue(0), 0);
}

TEST(Simulator, readsBeyondTheRegisterTableAreRefused) {
  Simulator sim({.address = "127.0.2.102"});
  ASSERT_TRUE(sim.start());
  zentarc::plc::GeLink link;
  ASSERT_EQ(link.Setup({"127.0.2.102"}), zentarc::plc::kOk);
  ASSERT_EQ(link.SelectPlc(1), zentarc::plc::kOk);
  std::uint16_t values[2] = {};
  EXPECT_EQ(link.ReadRegisters(1, 65535, values), zentarc::plc::kOk);
  EXPECT_EQ(link.ReadRegisters(2, 65535, values), zentarc::plc::kRequestRefused);
  EXPECT_EQ(sim.stats().layoutErrors, 0u);
}

TEST(Simulator, aSecondSimulatorOnTheSameAddressFailsWithAReason) {
  Simulator first({.address = "127.0.2.103"});
  ASSERT_TRUE(first.start());
  Simulator second({.address = "127.0.2.103"});
  std::string error;
  EXPECT_FALSE(second.start(&error));
  EXPECT_NE(error.find("127.0.2.103:18245"), std::string::npos) << error;
  Simulator bad({.address = "not-an-address"});
  EXPECT_FALSE(bad.start(&error));
  EXPECT_NE(error.find("not-an-address"), std::string::npos) << error;
}

TEST(Simulator, stopWithAClientConnectedEndsItsConnectionAndCanStartAgain) {
  Simulator sim({.address = "127.0.2.104"});
  ASSERT_TRUE(sim.start());
  zentarc::plc::GeLink link;
  ASSERT_EQ(link.Setup({"127.0.2.104"}), zentarc::plc::kOk);
  ASSERT_EQ(link.SelectPlc(1), zentarc::plc::kOk);
  EXPECT_EQ(sim.openConnections(), 1u);
  sim.stop();
  sim.stop();
  EXPECT_FALSE(sim.running());
  std::uint16_t value = 0;
  EXPECT_EQ(link.ReadRegisters(1, 0, &value), zentarc::plc::kConnectionLost);
  ASSERT_TRUE(sim.start());
  ASSERT_EQ(link.SelectPlc(1), zentarc::plc::kOk);
}

TEST(Simulator, logKeepsTheNewestMessagesOnly) {
  Simulator sim({.address = "127.0.2.105", .logLimit = 3});
  ASSERT_TRUE(sim.start());
  zentarc::plc::GeLink link;
  ASSERT_EQ(link.Setup({"127.0.2.105"}), zentarc::plc::kOk);
  ASSERT_EQ(link.SelectPlc(1), zentarc::plc::kOk);
  std::uint16_t value = 0;
  for (int i = 0; i < 5; ++i) ASSERT_EQ(link.ReadRegisters(1, 0, &value), zentarc::plc::kOk);
  const auto log = sim.log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log.back().request.sequence, 6);
  EXPECT_EQ(sim.stats().reads, 5u);
  EXPECT_EQ(sim.stats().handshakes, 1u);
}

TEST(Simulator, garbageFromOneClientNeverStopsItServingAnother) {
  Simulator sim({.address = "127.0.2.106"});
  ASSERT_TRUE(sim.start());
  {
    RawSocket noisy = RawSocket::connectTo("127.0.2.106");
    ASSERT_TRUE(noisy.valid());
    std::mt19937 random(12345);
    for (int i = 0; i < 200; ++i) {
      std::vector<std::uint8_t> junk(1 + random() % 300);
      for (auto& b : junk) b = static_cast<std::uint8_t>(random());
      if (i % 7 == 0) junk[0] = 0x02;  // now and then something that looks like a request
      if (!noisy.sendAll(junk)) break;  // the simulator may hang up on it
    }
  }
  zentarc::plc::GeLink link;
  ASSERT_EQ(link.Setup({"127.0.2.106"}), zentarc::plc::kOk);
  ASSERT_EQ(link.SelectPlc(1), zentarc::plc::kOk);
  sim.setRegister(7, 77);
  std::uint16_t value = 0;
  ASSERT_EQ(link.ReadRegisters(1, 7, &value), zentarc::plc::kOk);
  EXPECT_EQ(value, 77);
}

TEST(SimulatorNames, faultsParseByNameAndRejectNonsense) {
  Faults f;
  std::string error;
  EXPECT_TRUE(applyFault(f, "refuse-reads", &error));
  EXPECT_TRUE(applyFault(f, "delay=250", &error));
  EXPECT_TRUE(applyFault(f, "split", &error));
  EXPECT_TRUE(applyFault(f, "reset-after=3", &error));
  EXPECT_TRUE(f.refuseReads);
  EXPECT_EQ(f.delayMs, 250);
  EXPECT_EQ(f.splitGapMs, kDefaultSplitGapMs);
  EXPECT_EQ(f.resetAfter, 3);
  for (const char* bad : {"refuse", "delay", "delay=-1", "delay=1x", "silent=2", "close-after="}) {
    EXPECT_FALSE(applyFault(f, bad, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

TEST(SimulatorNames, registersAreNamedFromR1) {
  EXPECT_EQ(parseRegisterName("R1"), 0);
  EXPECT_EQ(parseRegisterName("r65536"), 65535);
  for (const char* bad : {"R0", "R65537", "1", "R", "R1x", "R-1"}) EXPECT_FALSE(parseRegisterName(bad)) << bad;
  std::string error;
  const auto a = parseRegisterAssignment("R3=-1", &error);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->index, 2);
  EXPECT_EQ(a->value, 0xFFFF);
  EXPECT_FALSE(parseRegisterAssignment("R3=65536", &error));
  EXPECT_FALSE(parseRegisterAssignment("R3", &error));
  const auto r = parseRegisterRange("R5-R8", &error);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->count(), 4u);
  EXPECT_FALSE(parseRegisterRange("R8-R5", &error));
}

TEST(SimulatorAnimation, countersSinesAndTogglesMoveWithTime) {
  std::string error;
  const auto counter = parseAnimation("R1-R2", &error);
  ASSERT_TRUE(counter);
  EXPECT_EQ(animatedValue(*counter, 0, 1000), 10);
  EXPECT_EQ(animatedValue(*counter, 1, 1000), 11);
  const auto sine = parseAnimation("sine:R5", &error);
  ASSERT_TRUE(sine);
  EXPECT_EQ(animatedValue(*sine, 4, 0), 1000);
  EXPECT_EQ(animatedValue(*sine, 4, 2500), 2000);
  EXPECT_EQ(animatedValue(*sine, 4, 7500), 0);
  const auto toggle = parseAnimation("toggle:R9-R10", &error);
  ASSERT_TRUE(toggle);
  EXPECT_EQ(animatedValue(*toggle, 8, 500), 0);
  EXPECT_EQ(animatedValue(*toggle, 8, 1500), 1);
  EXPECT_EQ(animatedValue(*toggle, 9, 1500), 0);
  EXPECT_FALSE(parseAnimation("wave:R1", &error));
  EXPECT_NE(error.find("wave"), std::string::npos);
}

TEST(AddressRun, oneAddressOrARunInTheLastNumber) {
  EXPECT_EQ(parseAddressRun("127.0.1.9", nullptr), (std::vector<std::string>{"127.0.1.9"}));
  EXPECT_EQ(parseAddressRun("127.0.1.254-127.0.1.255", nullptr),
            (std::vector<std::string>{"127.0.1.254", "127.0.1.255"}));
  const auto hundred = parseAddressRun("127.0.1.1-100", nullptr);
  ASSERT_TRUE(hundred);
  ASSERT_EQ(hundred->size(), 100u);
  EXPECT_EQ(hundred->back(), "127.0.1.100");
  std::string error;
  for (const char* bad : {"127.0.1", "127.0.1.5-4", "127.0.1.1-127.0.2.1", "127.0.1.1-300", "127.0.1.1-", "x-1"}) {
    EXPECT_FALSE(parseAddressRun(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}
