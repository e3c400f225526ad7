// A PLC that keeps failing is demoted: tried again after 100 ms, then 1 s doubling to 30 s,
// its requests failing at once meanwhile, and promoted again by a success. The workers take
// their ticks from a clock the test moves (a worker looks at it at least once a second). PLCs
// on 127.0.9.x.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "server/plc/PlcWorker.h"
#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;

namespace {

class Demotion : public ::testing::Test {
 protected:
  // A PLC that refuses every handshake: each try is one connection the simulator counts.
  void serve(const std::string& address) {
    sim = &h.simulate(address, {.refuseHandshake = true});
    ASSERT_TRUE(h.load(plcXml("P", address, tagXml("T", "VT_I2", 1))));
    h.start([this] { return tick.load(); });
    group = h.group("g", 100);
    item = h.activate(*group, "T");
    ASSERT_TRUE(waitUntil([&] { return device().cyclicBlocks.size() == 1; }));
  }
  PlcDevice& device() { return *h.devices.getIndex(0); }
  std::uint64_t tries() const { return sim->stats().connections; }
  // Moves the clock on and waits (bounded) until the number of tries is `expected` and, for a
  // try that fails, until the worker has taken the failure in: the next try is timed from the
  // clock it reads then, so the clock must not move on before.
  bool advanceTo(std::uint32_t t, std::uint64_t expected, bool fails = true) {
    const std::uint64_t failedBefore = device().status().messagesFailed;
    tick = t;
    if (!waitUntil([&] { return tries() == expected; }, 3000)) return false;
    return !fails || waitUntil([&] { return device().status().messagesFailed > failedBefore; }, 3000);
  }
  // Nothing more happens while the clock stands still.
  void quietFor(int ms) {
    const auto before = tries();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    EXPECT_EQ(tries(), before);
  }

  PollingHarness h;
  plcsim::Simulator* sim = nullptr;
  std::atomic<std::uint32_t> tick{1000};
  SOCmnPointer<SODaSGroup> group;
  SOCmnPointer<SODaSItem> item;
};

}  // namespace

TEST(RetryDelay, a100MsPauseThenOneSecondDoublingToThirty) {
  const std::uint32_t expected[] = {100, 100, 1000, 2000, 4000, 8000, 16000, 30000, 30000};
  for (std::uint32_t failures = 0; failures < 9; ++failures) EXPECT_EQ(retryDelayMs(failures), expected[failures]);
  EXPECT_EQ(retryDelayMs(1000), 30000u);
}

TEST_F(Demotion, triesFollowAGrowingBackOff_andRequestsFailAtOnceMeanwhile) {
  serve("127.0.9.10");
  ASSERT_TRUE(advanceTo(1200, 1));  // the block falls due: first try
  quietFor(700);
  EXPECT_EQ(device().status().state, PlcState::Failing);
  EXPECT_EQ(h.tag("T")->getCache()->getQuality(), OPC_QUALITY_DEVICE_FAILURE);

  ASSERT_TRUE(advanceTo(1301, 2));  // 100 ms later: the retry fails too
  EXPECT_TRUE(waitUntil([&] { return device().status().state == PlcState::Demoted; }));
  tick = 2000;
  quietFor(700);
  ASSERT_TRUE(advanceTo(2302, 3));  // 1 s after the second
  tick = 4000;
  quietFor(700);
  ASSERT_TRUE(advanceTo(4303, 4));  // 2 s after the third

  // Demoted: a device read or write fails at once, without a connect of its own.
  auto read = h.tag("T")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  auto write = h.tag("T")->submitWrite(SOCmnVariant::fromI2(1));
  ASSERT_TRUE(read->waitForCompletion(2000));
  ASSERT_TRUE(write->waitForCompletion(2000));
  EXPECT_EQ(read->getReadResult()->quality, OPC_QUALITY_DEVICE_FAILURE);
  EXPECT_EQ(write->getResult(), E_FAIL);
  EXPECT_EQ(tries(), 4u);

  const PlcStatus status = device().status();
  EXPECT_EQ(status.lastResultCode, plc::kHandshakeRefused);
  EXPECT_FALSE(status.connected);
  EXPECT_GT(status.nextTry, std::chrono::system_clock::now());
  // Reported when it failed and when it was demoted; not at every try.
  EXPECT_EQ(h.sink.count(plc::kHandshakeRefused), 2u);

  // The PLC takes handshakes again: the next try (4 s on) succeeds and ends the demotion.
  sim->setFaults({});
  sim->setRegister(0, 5);
  ASSERT_TRUE(advanceTo(8304, 5, false));
  ASSERT_TRUE(h.waitForQuality("T", OPC_QUALITY_GOOD));
  EXPECT_EQ(h.tag("T")->getCache()->getValue().iVal(), 5);
  EXPECT_TRUE(waitUntil([&] { return device().status().state == PlcState::Working; }));
  // Told once it kept working 5 s, after a demotion as after any failure.
  tick = 8304 + kSteadyMs - 100;
  quietFor(300);
  EXPECT_FALSE(h.sink.reported(0, "P"));
  tick = 8304 + kSteadyMs + 100;
  EXPECT_TRUE(waitUntil([&] { return h.sink.reported(0, "P"); }, 3000));
  EXPECT_EQ(h.sink.reports().back(), (StatusReport{WM_PLC_STATUS, 0, "P"}));
}

TEST_F(Demotion, aPlcThatStaysDownIsRemindedOfEveryTenMinutes) {
  serve("127.0.9.11");
  ASSERT_TRUE(advanceTo(1200, 1));
  ASSERT_TRUE(advanceTo(1301, 2));  // demoted, reported at 1301
  ASSERT_TRUE(waitUntil([&] { return h.sink.count(plc::kHandshakeRefused) == 2; }));
  // A clock far past the next try makes one try, not all that were missed.
  ASSERT_TRUE(advanceTo(1301 + kFailureReminderMs / 2, 3));
  quietFor(700);
  EXPECT_EQ(h.sink.count(plc::kHandshakeRefused), 2u);
  ASSERT_TRUE(advanceTo(1301 + kFailureReminderMs, 4));
  EXPECT_TRUE(waitUntil([&] { return h.sink.count(plc::kHandshakeRefused) == 3u; }));
}

TEST_F(Demotion, aPlcWhoseItemsAllLeftIsNotTriedUntilARequestNeedsIt) {
  serve("127.0.9.12");
  ASSERT_TRUE(advanceTo(1200, 1));
  ASSERT_TRUE(advanceTo(1301, 2));
  item->setActive(false);
  ASSERT_TRUE(waitUntil([&] { return device().cyclicBlocks.empty(); }));
  tick = 100000;
  quietFor(1200);
  EXPECT_EQ(device().status().nextTry, std::chrono::system_clock::time_point{});  // no try scheduled
  auto read = h.tag("T")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  ASSERT_TRUE(read->waitForCompletion(3000));
  EXPECT_EQ(tries(), 3u);  // the request tried, its back-off being over
}
