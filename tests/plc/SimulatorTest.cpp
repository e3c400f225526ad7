// The simulated PLC itself: what it checks, refuses and reports, and its command-line names.
#include "tools/plcsim/Simulator.h"

#include <gtest/gtest.h>

#include <random>

#include "server/plc/GeLink.h"
#include "tests/plc/RawSocket.h"
#include "tools/plcsim/AddressRange.h"
#include "tools/plcsim/CpuSchedule.h"
#include "tools/plcsim/MemoryNames.h"

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

TEST(SimulatorNames, memoryIsNamedFromOneInEveryArea) {
  using zentarc::configfile::MemoryArea;
  EXPECT_EQ(parseMemoryName("R1")->index, 0);
  EXPECT_EQ(parseMemoryName("r65536")->index, 65535);
  EXPECT_EQ(parseMemoryName("%AI5")->area, MemoryArea::AI);
  EXPECT_EQ(parseMemoryName("sa3")->area, MemoryArea::SA);
  for (const char* bad : {"R0", "R65537", "1", "R", "R1x", "R-1", "X5", "%", "AI"})
    EXPECT_FALSE(parseMemoryName(bad)) << bad;
  std::string error;
  const auto a = parseMemoryAssignment("R3=-1", &error);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->index, 2);
  EXPECT_EQ(a->value, 0xFFFF);
  const auto b = parseMemoryAssignment("I17=1", &error);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->area, MemoryArea::I);
  EXPECT_EQ(b->index, 16);
  for (const char* bad : {"R3=65536", "R3", "I17=2", "Q1=-1"}) EXPECT_FALSE(parseMemoryAssignment(bad, &error)) << bad;
  const auto r = parseMemoryRange("AI5-AI8", &error);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->count(), 4u);
  EXPECT_FALSE(parseMemoryRange("R8-R5", &error));
  EXPECT_FALSE(parseMemoryRange("R1-AI4", &error));
}

TEST(SimulatorNames, cpuStatesByNameAtOnceOrLater) {
  std::string error;
  const auto stop = parseCpuStep("stop@2.5", &error);
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->state, zentarc::plc::CpuState::StopDisabled);
  EXPECT_DOUBLE_EQ(stop->atSeconds, 2.5);
  EXPECT_EQ(parseCpuStep("faulted", &error)->state, zentarc::plc::CpuState::StopFaulted);
  for (const char* bad : {"running", "stop@", "stop@-1", "stop@x", ""}) EXPECT_FALSE(parseCpuStep(bad, &error)) << bad;
  EXPECT_NE(error.find("is not a CPU state"), std::string::npos);
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
  // In a bit table: a counter's bits count in binary, the first bit lowest.
  const auto bits = parseAnimation("Q1-Q3", &error);
  ASSERT_TRUE(bits);
  EXPECT_EQ(bits->area, zentarc::configfile::MemoryArea::Q);
  EXPECT_TRUE(animatedBit(*bits, 0, 500));    // 5 = 0b101
  EXPECT_FALSE(animatedBit(*bits, 1, 500));
  EXPECT_TRUE(animatedBit(*bits, 2, 500));
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

// Requests to the other areas: what the simulated PLC refuses and why.
TEST(Simulator, unknownSelectorsAndBitWritesWithStrayBitsAreRefusedAsBadLayouts) {
  Simulator sim({.address = "127.0.2.107"});
  ASSERT_TRUE(sim.start());
  RawSocket client = RawSocket::connectTo("127.0.2.107");
  ASSERT_TRUE(client.valid());
  handshake(client);
  ASSERT_TRUE(client.sendAll(vec(ge::readRequest(2, 0x20, 0, 1))));
  EXPECT_EQ(client.receive(56).at(31), 0xD1);
  EXPECT_NE(sim.log().back().request.problem.find("unknown memory selector 0x20"), std::string::npos);
  // %Q3 alone, but with bit 0 of its data byte set as well.
  ge::ShortWriteField field{};
  const std::uint8_t stray[] = {0x05};
  ASSERT_TRUE(client.sendAll(vec(ge::shortWriteRequest(2, 0x48, 2, 1, stray, 1, field))));
  EXPECT_EQ(client.receive(56).at(31), 0xD1);
  EXPECT_NE(sim.log().back().request.problem.find("bits beside"), std::string::npos);
  // Nine data bytes claimed in the short form.
  std::uint8_t nine[9] = {};
  auto tooLong = vec(ge::shortWriteRequest(2, 0x12, 0, 9, nine, 8, field));
  ASSERT_TRUE(client.sendAll(tooLong));
  EXPECT_EQ(client.receive(56).at(31), 0xD1);
  EXPECT_EQ(sim.stats().layoutErrors, 3u);
  EXPECT_FALSE(sim.bit(zentarc::configfile::MemoryArea::Q, 0));
  EXPECT_EQ(sim.stats().writes, 0u);
}

TEST(Simulator, answersCarryTheCpuStateItIsGivenAndSizesEndTheirAreas) {
  Simulator sim({.address = "127.0.2.108", .cpuState = zentarc::plc::CpuState::Halted});
  using zentarc::configfile::MemoryArea;
  sim.setAreaSize(MemoryArea::SB, 16);
  ASSERT_TRUE(sim.start());
  RawSocket client = RawSocket::connectTo("127.0.2.108");
  ASSERT_TRUE(client.valid());
  handshake(client);
  ASSERT_TRUE(client.sendAll(vec(ge::readRequest(2, 0x1A, 1, 1))));  // %SB9-%SB16
  auto answer = client.receive(56);
  ASSERT_EQ(answer.size(), 56u);
  EXPECT_EQ(answer[31], 0xD4);
  EXPECT_EQ(ge::cpuStatusOf(answer.data()).stateCode(), 4u);
  EXPECT_EQ(ge::cpuStatusOf(answer.data()).sweepTimeMs, 0);
  sim.setCpuState(zentarc::plc::CpuState::RunEnabled);
  ASSERT_TRUE(client.sendAll(vec(ge::readRequest(3, 0x1A, 2, 1))));  // %SB17-%SB24: past the size
  answer = client.receive(56);
  EXPECT_EQ(answer.at(31), 0xD1);
  EXPECT_EQ(ge::cpuStatusOf(answer.data()).statusWord, 0x0100);
  EXPECT_EQ(sim.stats().layoutErrors, 0u);
}
