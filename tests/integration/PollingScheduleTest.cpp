// The PLC workers keeping cyclic blocks in step with the clients' items: rates, rate
// changes, deactivation, and how often a block is read.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;

namespace {

std::size_t readsOf(const plcsim::Simulator& sim) { return sim.stats().reads; }

}  // namespace

TEST(PollingSchedule, aTagFollowsTheFastestRateItsItemsStillAskFor) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.10");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.10", tagXml("T", "VT_I2", 1) + tagXml("U", "VT_I2", 50))));
  h.start();
  auto slow = h.group("slow", 500);
  auto fast = h.group("fast", 100);
  auto i1 = h.activate(*slow, "T");
  ASSERT_TRUE(waitUntil([&] { return h.blockRate("T") == 500; }));
  auto readsIn = [&](int ms) {
    const auto before = readsOf(sim);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return readsOf(sim) - before;
  };
  const auto alone = readsIn(1500);  // about 3
  auto i2 = h.activate(*fast, "T");
  ASSERT_TRUE(waitUntil([&] { return h.blockRate("T") == 100; }));
  EXPECT_GE(readsIn(1500), alone + 6);  // about 15
  // The fast client goes: the load falls back to what the slow one asks for.
  i2->setActive(false);
  ASSERT_TRUE(waitUntil([&] { return h.blockRate("T") == 500; }));
  EXPECT_LE(readsIn(1500), alone + 1);
  EXPECT_EQ(h.blockCount(0), 1u);

  // An item that moves to a slower group (left and added in one batch) slows its tag.
  auto u1 = h.activate(*fast, "U");
  ASSERT_TRUE(waitUntil([&] { return h.blockRate("U") == 100; }));
  auto glacial = h.group("glacial", 2000);
  u1->setActive(false);
  auto u2 = h.activate(*glacial, "U");
  EXPECT_TRUE(waitUntil([&] { return h.blockRate("U") == 2000; }));
}

TEST(PollingSchedule, blocksBuiltTagByTagAreMergedAgain) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.13");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.13", tagXml("A", "VT_I2", 1) + tagXml("B", "VT_I2", 21) +
                                                   tagXml("C", "VT_I2", 11))));
  h.start();
  auto g = h.group("g", 200);
  auto other = h.group("other", 1000);
  auto a = h.activate(*g, "A");
  auto b = h.activate(*other, "B");
  ASSERT_TRUE(waitUntil([&] { return h.blockCount(0) == 2; }));
  // C lies between them, near both; once B is polled at A's rate, all three are one read.
  auto c = h.activate(*g, "C");
  ASSERT_TRUE(waitUntil([&] { return h.blockRate("C") == 200; }));
  other->setUpdateRate(200);
  ASSERT_TRUE(waitUntil([&] { return h.blockCount(0) == 1 && h.blockRate("B") == 200; }));
  sim.clearLog();
  ASSERT_TRUE(waitUntil([&] { return !sim.log().empty(); }));
  const auto read = sim.log().back().request;
  EXPECT_EQ(read.kind, plcsim::MessageKind::Read);
  EXPECT_EQ(read.index, 0u);
  EXPECT_EQ(read.count, 21u);
}

TEST(PollingSchedule, rateChangesMoveTagsAndDeactivationStopsPolling) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.11");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.11", tagXml("A", "VT_I2", 1) + tagXml("B", "VT_I2", 3))));
  h.start();
  auto g = h.group("g", 1000);
  auto a = h.activate(*g, "A");
  auto b = h.activate(*g, "B");
  ASSERT_TRUE(waitUntil([&] { return h.blockRate("A") == 1000 && h.blockRate("B") == 1000; }));
  EXPECT_EQ(h.blockCount(0), 1u);
  g->setUpdateRate(200);
  ASSERT_TRUE(waitUntil([&] { return h.blockRate("A") == 200 && h.blockRate("B") == 200; }));
  EXPECT_EQ(h.blockCount(0), 1u);

  a->setActive(false);
  b->setActive(false);
  ASSERT_TRUE(waitUntil([&] { return h.blockCount(0) == 0; }));
  const auto before = readsOf(sim);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(readsOf(sim), before);

  // Both items back in one batch: polled again although the tag has two items at once.
  a->setActive(true);
  auto again = h.activate(*g, "A");
  ASSERT_TRUE(waitUntil([&] { return h.blockRate("A") == 200; }));
  EXPECT_TRUE(waitUntil([&] { return readsOf(sim) > before; }));
}

TEST(PollingSchedule, aBlockAtRate1000IsReadAboutOnceASecond) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.12");
  std::mutex mutex;
  std::vector<std::chrono::steady_clock::time_point> times;
  sim.setObserver([&](const plcsim::LoggedMessage& m) {
    if (m.request.kind != plcsim::MessageKind::Read) return;
    std::lock_guard lock(mutex);
    times.push_back(std::chrono::steady_clock::now());
  });
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.12", tagXml("T", "VT_I2", 1))));
  h.start();
  auto g = h.group("g", 1000);
  auto item = h.activate(*g, "T");
  ASSERT_TRUE(waitUntil([&] {
    std::lock_guard lock(mutex);
    return times.size() >= 4;
  }, 10000));
  std::lock_guard lock(mutex);
  for (std::size_t i = 1; i < times.size(); ++i) {
    const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(times[i] - times[i - 1]).count();
    // Never twice within a second (a little slack for the two threads' clocks), and not
    // much later either.
    EXPECT_GE(gap, 990) << i;
    EXPECT_LE(gap, 2500) << i;
  }
}
