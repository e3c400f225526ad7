// One PLC never holds up another: beside a PLC that refuses connections, never accepts one,
// accepts and never answers, answers late, or resets every few messages, a healthy PLC keeps
// its rate and its requests complete at its own speed. PLCs on 127.0.8.x.
#include <gtest/gtest.h>

#include <thread>

#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;

namespace {

struct Neighbour {
  const char* name;
  bool simulated;  // false: nothing listens there, every connect is refused
  plcsim::Faults faults;
};

// Reads of the healthy PLC's block (rate 100 ms) within `ms` while the other PLC misbehaves.
std::uint64_t healthyReadsBeside(const Neighbour& n, const std::string& good, const std::string& bad, int ms) {
  PollingHarness h;
  auto& healthy = h.simulate(good);
  if (n.simulated) h.simulate(bad, n.faults);
  EXPECT_TRUE(h.load(plcXml("Good", good, tagXml("G", "VT_I2", 1)) + plcXml("Bad", bad, tagXml("B", "VT_I2", 1))));
  h.start();
  auto g = h.group("g", 100);
  auto i1 = h.activate(*g, "G");
  auto i2 = h.activate(*g, "B");
  EXPECT_TRUE(h.waitForQuality("G", OPC_QUALITY_GOOD));
  const auto before = healthy.stats().reads;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return healthy.stats().reads - before;
}

}  // namespace

// About 20 reads in 2 s at 100 ms; a PLC waiting for its neighbour's 1 s limits would get a
// handful at most.
constexpr std::uint64_t kAtItsRate = 10;

TEST(PlcIsolation, aHealthyPlcKeepsItsRateBesideOneRefusingConnections) {
  EXPECT_GE(healthyReadsBeside({"refuses connections", false, {}}, "127.0.8.10", "127.0.8.11", 2000), kAtItsRate);
}

TEST(PlcIsolation, aHealthyPlcKeepsItsRateBesideOneNeverAcceptingAConnection) {
  EXPECT_GE(healthyReadsBeside({"never accepts", true, {.silentConnect = true}}, "127.0.8.12", "127.0.8.13", 2000),
            kAtItsRate);
}

TEST(PlcIsolation, aHealthyPlcKeepsItsRateBesideOneThatAcceptsAndNeverAnswers) {
  EXPECT_GE(healthyReadsBeside({"never answers", true, {.silent = true}}, "127.0.8.14", "127.0.8.15", 2000), kAtItsRate);
}

TEST(PlcIsolation, aHealthyPlcKeepsItsRateBesideOneAnsweringAfter900Ms) {
  EXPECT_GE(healthyReadsBeside({"answers late", true, {.delayMs = 900}}, "127.0.8.16", "127.0.8.17", 2000), kAtItsRate);
}

TEST(PlcIsolation, aHealthyPlcKeepsItsRateBesideOneResettingEveryFewMessages) {
  EXPECT_GE(healthyReadsBeside({"resets", true, {.resetAfter = 4}}, "127.0.8.18", "127.0.8.19", 2000), kAtItsRate);
}

TEST(PlcIsolation, aDeviceReadOfOnePlcCompletesWhileAnotherWaitsForItsSilentPlc) {
  PollingHarness h;
  auto& a = h.simulate("127.0.8.30");
  h.simulate("127.0.8.31", {.silent = true});
  a.setRegister(0, 11);
  ASSERT_TRUE(h.load(plcXml("A", "127.0.8.30", tagXml("TA", "VT_I2", 1)) +
                     plcXml("B", "127.0.8.31", tagXml("TB", "VT_I2", 1))));
  h.start();
  // B's request waits out the 1 s answer limit of its handshake; A's does not wait for it.
  auto slow = h.tag("TB")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  auto fast = h.tag("TA")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  ASSERT_TRUE(fast->waitForCompletion(5000));
  auto write = h.tag("TA")->submitWrite(SOCmnVariant::fromI2(12));
  ASSERT_TRUE(write->waitForCompletion(5000));
  EXPECT_FALSE(slow->isCompleted());
  EXPECT_EQ(fast->getReadResult()->value.iVal(), 11);
  EXPECT_EQ(write->getResult(), S_OK);
  EXPECT_EQ(a.registerValue(0), 12);
  ASSERT_TRUE(slow->waitForCompletion(5000));
  EXPECT_EQ(slow->getReadResult()->quality, OPC_QUALITY_COMM_FAILURE);
}

TEST(PlcIsolation, twentyPlcsAnsweringLateAreScannedSideBySide) {
  PollingHarness h;
  std::string plcs;
  for (int i = 0; i < 20; ++i) {
    const std::string address = "127.0.8." + std::to_string(40 + i);
    h.simulate(address, {.delayMs = 200});
    plcs += plcXml("P" + std::to_string(i), address, tagXml("T" + std::to_string(i), "VT_I2", 1));
  }
  ASSERT_TRUE(h.load(plcs));
  h.start();
  auto g = h.group("g", 100);
  std::vector<SOCmnPointer<SODaSItem>> items;
  for (int i = 0; i < 20; ++i) items.push_back(h.activate(*g, "T" + std::to_string(i)));
  // Each PLC needs 600 ms (handshake and read at 200 ms each); one after the other that
  // would be 12 s, side by side well under the 5 s this allows.
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(h.waitForQuality("T" + std::to_string(i), OPC_QUALITY_GOOD, 5000)) << i;
}

TEST(PlcIsolation, requestsAfterPollingStoppedFailAtOnce) {
  PollingHarness h;
  h.simulate("127.0.8.70");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.8.70", tagXml("T", "VT_I2", 1))));
  h.start();
  h.stop();
  auto read = h.tag("T")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  EXPECT_TRUE(read->isCompleted());
  EXPECT_EQ(read->getResult(), E_FAIL);
}
