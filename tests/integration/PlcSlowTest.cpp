// A slow PLC and a stop: work for one PLC is done in short steps, a read its requester gave
// up on is not sent for, and a stop sends nothing more and answers every write truthfully.
// PLCs on 127.0.26.x.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;

namespace {

// `n` VT_I2 tags T0, T2, ... two registers apart, so that no two writes share a message.
std::string spreadTags(int n) {
  std::string tags;
  for (int i = 0; i < n; ++i) tags += tagXml("T" + std::to_string(i), "VT_I2", 1 + 2 * i);
  return tags;
}

std::size_t writesOf(const plcsim::Simulator& sim) { return sim.stats().writes; }

}  // namespace

TEST(PlcSlow, aStopSendsNothingMoreAndAnswersEveryWriteAsThePlcGotIt) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.26.1", {.delayMs = 300});
  ASSERT_TRUE(h.load(plcXml("P", "127.0.26.1", spreadTags(12))));
  h.start();
  std::vector<SOCmnPointer<SODaSRequest>> writes;
  for (int i = 0; i < 12; ++i)
    writes.push_back(h.tag("T" + std::to_string(i))->submitWrite(SOCmnVariant::fromI2(static_cast<std::int16_t>(100 + i))));
  ASSERT_TRUE(waitUntil([&] { return writesOf(sim) >= 2; }, 5000));
  h.stop();
  // Every write is answered by the time polling has stopped; nothing reaches the PLC after.
  const std::size_t got = writesOf(sim);
  std::size_t good = 0;
  for (int i = 0; i < 12; ++i) {
    ASSERT_TRUE(writes[i]->isCompleted()) << i;
    const bool written = sim.registerValue(static_cast<std::uint16_t>(2 * i)) == 100 + i;
    EXPECT_EQ(writes[i]->getResult() == S_OK, written) << i;
    if (writes[i]->getResult() != S_OK) {
      EXPECT_TRUE(writes[i]->isWriteQualityValid());
      EXPECT_EQ(writes[i]->getWriteQuality(), OPC_QUALITY_COMM_FAILURE) << i;
    }
    good += written;
  }
  EXPECT_EQ(good, got);
  EXPECT_LT(good, 12u);
  EXPECT_EQ(h.thread->unsentWrites(), 12u - good);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(writesOf(sim), got);
  EXPECT_TRUE(h.sink.reports().empty()) << "a stop is no failure of the PLC";
}

TEST(PlcSlow, aLargeReadOfASlowPlcGoesInStepsThatLetWritesAndTheHeartbeatThrough) {
  PollingHarness h;
  // Tags 600 registers apart: no bridging joins them, so each is one message of 150 ms.
  std::string tags;
  for (int i = 0; i < 12; ++i) tags += tagXml("R" + std::to_string(i), "VT_I2", 1 + 600 * i);
  tags += tagXml("W", "VT_I2", 60000);
  auto& sim = h.simulate("127.0.26.2", {.delayMs = 150});
  ASSERT_TRUE(h.load(plcXml("P", "127.0.26.2", tags)));
  h.start();
  std::vector<SOCmnPointer<SODaSRequest>> reads;
  for (int i = 0; i < 12; ++i) reads.push_back(h.tag("R" + std::to_string(i))->submitRead(SODASREQUEST_TYPE_ASYNC_DEVICE));
  // The write queued behind the reads goes out after the first step, not after all 12 reads.
  ASSERT_TRUE(waitUntil([&] { return sim.stats().reads >= 2; }, 3000));
  auto write = h.tag("W")->submitWrite(SOCmnVariant::fromI2(5));
  const auto& heartbeat = h.thread->worker(0).heartbeat();
  Heartbeat::Clock::duration longestSilence{};
  while (!write->isCompleted()) {
    longestSilence = std::max(longestSilence, Heartbeat::Clock::now() - heartbeat.lastBeat());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(write->getResult(), S_OK);
  EXPECT_LT(sim.stats().reads, 12u);
  // The worker beats at every message, slow as they are.
  EXPECT_LT(longestSilence, std::chrono::milliseconds(600));
  for (auto& r : reads) EXPECT_TRUE(r->waitForCompletion(5000));
  EXPECT_EQ(sim.stats().reads, 12u);
}

TEST(PlcSlow, aDeviceReadItsRequesterGaveUpOnIsNotSentFor) {
  PollingHarness h;
  std::string tags;
  for (int i = 0; i < 8; ++i) tags += tagXml("R" + std::to_string(i), "VT_I2", 1 + 600 * i);
  auto& sim = h.simulate("127.0.26.3", {.delayMs = 150});
  ASSERT_TRUE(h.load(plcXml("P", "127.0.26.3", tags)));
  h.start();
  std::vector<SOCmnPointer<SODaSRequest>> reads;
  for (int i = 0; i < 8; ++i) reads.push_back(h.tag("R" + std::to_string(i))->submitRead(SODASREQUEST_TYPE_ASYNC_DEVICE));
  ASSERT_TRUE(waitUntil([&] { return sim.stats().reads >= 1; }, 3000));
  for (auto& r : reads) r->cancel();
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_LE(sim.stats().reads, 2u);  // the one in flight, perhaps the next
}
