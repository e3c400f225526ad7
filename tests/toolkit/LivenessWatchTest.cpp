// Judging whether the server's loops still turn, from their heartbeats.
#include <gtest/gtest.h>

#include <thread>

#include "server/toolkit/LivenessWatch.h"

using namespace zentarc;
using std::chrono::milliseconds;

TEST(LivenessWatch, aLoopIsStuckOnlyOnceSilentForLongerThanItsBound) {
  Heartbeat polling, io;
  LivenessWatch watch;
  watch.watch("polling thread", polling, milliseconds(60000));
  watch.watch("OPC UA thread", io, milliseconds(15000));
  const auto t0 = std::max(polling.lastBeat(), io.lastBeat());

  EXPECT_TRUE(watch.stuck(t0).empty());
  EXPECT_TRUE(watch.stuck(t0 + milliseconds(15000)).empty()) << "exactly the bound is still alive";

  const auto late = watch.stuck(t0 + milliseconds(15001));
  ASSERT_EQ(late.size(), 1u);
  EXPECT_EQ(late[0].name, "OPC UA thread");
  EXPECT_GE(late[0].silentFor, milliseconds(15001));
  EXPECT_EQ(late[0].bound, milliseconds(15000));

  const auto both = watch.stuck(t0 + milliseconds(60001));
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0].name, "polling thread");
  EXPECT_EQ(both[1].name, "OPC UA thread");
}

TEST(LivenessWatch, aBeatMakesAStuckLoopAliveAgain) {
  Heartbeat hb;
  LivenessWatch watch;
  watch.watch("loop", hb, milliseconds(50));
  const auto silentUntil = hb.lastBeat() + milliseconds(51);
  EXPECT_EQ(watch.stuck(silentUntil).size(), 1u);
  // Beating from another thread, as the loops do.
  std::thread([&] { hb.beat(); }).join();
  EXPECT_TRUE(watch.stuck(hb.lastBeat() + milliseconds(50)).empty());
  // A time read before the beat does not make the loop look silent for a negative time.
  EXPECT_TRUE(watch.stuck(hb.lastBeat() - milliseconds(1000)).empty());
}

TEST(LivenessWatch, forgottenLoopsAreNoLongerJudged) {
  Heartbeat a, b;
  LivenessWatch watch;
  watch.watch("a", a, milliseconds(10));
  watch.watch("b", b, milliseconds(10));
  const auto later = std::max(a.lastBeat(), b.lastBeat()) + milliseconds(1000);
  watch.forget(a);
  ASSERT_EQ(watch.size(), 1u);
  ASSERT_EQ(watch.stuck(later).size(), 1u);
  EXPECT_EQ(watch.stuck(later)[0].name, "b");
  watch.forgetAll();
  EXPECT_TRUE(watch.stuck(later).empty());
}
