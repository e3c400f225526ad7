// How widely blocks bridge unused registers: the cost of a read learnt from the PLC's
// answers, the rule that weighs a gap against a round trip, and cyclic blocks rebuilt from
// the tags they poll.
#include <gtest/gtest.h>

#include "server/plc/ReadCost.h"
#include "tests/plc/BlockTestSupport.h"

using namespace zentarc;
using namespace std::chrono_literals;
using Message = testsupport::FakeRegisterAccess::Message;

namespace {

class BlockPlanTest : public ::testing::Test, public testsupport::BlockFixture {
 protected:
  // The blocks as (first register, length, rate), in order.
  std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> blocks() const {
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> out;
    for (const auto& b : device->cyclicBlocks) out.emplace_back(b->firstRegister, b->length, b->updateRate);
    return out;
  }
};

}  // namespace

TEST(ReadCost, learnsTheRoundTripAndTheTimeOfARegister) {
  ReadCost cost;
  EXPECT_EQ(cost.registersPerRoundTrip(), kMaxReadGap);  // nothing timed: the gap always bridged
  // Small reads alone: a register is taken to cost 0.2 us, so 100 us of round trip is worth 500.
  for (int i = 0; i < 8; ++i) cost.record(1, 100us);
  EXPECT_NEAR(cost.registersPerRoundTrip(), 499, 1);
  // Large reads show the true time of a register: 250 us more for 499 more registers.
  for (int i = 0; i < 8; ++i) cost.record(500, 350us);
  EXPECT_NEAR(cost.registersPerRoundTrip(), 199, 2);
}

TEST(ReadCost, aSlowPlcOrNoisyTimesMakeRegistersCheapButNeverBelowTheGapAlwaysBridged) {
  ReadCost slow;
  for (int i = 0; i < 8; ++i) {
    slow.record(1, 500ms);
    slow.record(512, 500ms);
  }
  EXPECT_EQ(slow.registersPerRoundTrip(), 65536u);
  ReadCost fast;
  for (int i = 0; i < 8; ++i) fast.record(1, 1us);  // 1 us is 5 registers at the assumed cost
  EXPECT_EQ(fast.registersPerRoundTrip(), kMaxReadGap);
}

TEST(BlockRules, aGapIsBridgedWhileItCostsLessThanTheRoundTripItSaves) {
  // Worth 40 registers a round trip: a gap of 19 is read along, one of 40 is not.
  EXPECT_TRUE(worthBridging(100, 100, 120, 1, 40));
  EXPECT_FALSE(worthBridging(100, 100, 141, 1, 40));
  EXPECT_TRUE(worthBridging(120, 130, 100, 1, 40));  // before the block as well
  // The gap always bridged holds whatever a round trip costs.
  EXPECT_TRUE(worthBridging(100, 100, 111, 1, 10));
  // Never where it takes one more message than reading the two apart would.
  EXPECT_FALSE(worthBridging(0, 499, 520, 10, 65536));
  EXPECT_TRUE(worthBridging(0, 499, 505, 7, 65536));
  EXPECT_FALSE(worthBridging(0, 0, 5, 0, 65536));  // no span never joins
}

TEST_F(BlockPlanTest, blocksThatGrewApartAreMergedAgainWhenRebuilt) {
  auto a = tag(0), b = tag(20), c = tag(10);
  std::lock_guard lock(queues->queueLock);
  for (auto* t : {a.get(), b.get(), c.get()}) device->AddToCyclic(t, 1000);
  ASSERT_EQ(device->cyclicBlocks.size(), 2u);  // c joined a's block; b's stays apart
  device->RebuildCyclicBlocks();
  EXPECT_EQ(blocks(), (decltype(blocks()){{0, 21, 1000}}));
  EXPECT_EQ(a->pollBlock, device->cyclicBlocks[0].get());
  EXPECT_EQ(b->pollBlock, device->cyclicBlocks[0].get());
  EXPECT_EQ(device->cyclicBlocks[0]->tags.size(), 3u);
}

TEST_F(BlockPlanTest, rebuiltBlocksBridgeByCostKeepRatesApartAndArraysAlone) {
  std::vector<SOCmnPointer<PlcTag>> sparse;
  for (std::uint16_t i = 0; i < 60; ++i) sparse.push_back(tag(i * 20));  // registers 0 .. 1180
  auto array = tag(5, VT_ARRAY | VT_I2, 4);
  auto other = tag(10);
  std::lock_guard lock(queues->queueLock);
  for (auto& t : sparse) device->AddToCyclic(t.get(), 100);
  device->AddToCyclic(array.get(), 100);
  device->AddToCyclic(other.get(), 500);
  EXPECT_EQ(device->cyclicBlocks.size(), 62u);
  device->bridgeRegisters = 40;
  device->RebuildCyclicBlocks();
  // Within one message of 512 registers the 19-register gaps are read along.
  EXPECT_EQ(blocks(), (decltype(blocks()){{0, 501, 100}, {5, 4, 100}, {520, 501, 100}, {1040, 141, 100}, {10, 1, 500}}));
  EXPECT_EQ(device->cyclicBlocks[0]->tags.size(), 26u);
  EXPECT_TRUE(device->cyclicBlocks[0]->bridgedWide);
  EXPECT_TRUE(device->cyclicBlocks[1]->holdsArray);
  device->bridgeRegisters = kMaxReadGap;
  device->RebuildCyclicBlocks();
  EXPECT_EQ(device->cyclicBlocks.size(), 62u);  // the gap always bridged is 10: one block a tag
}

TEST_F(BlockPlanTest, aRebuiltBlockFallsDueWhenTheFirstOfItsOldBlocksWould) {
  auto a = tag(0), b = tag(50);
  device->bridgeRegisters = 100;
  std::lock_guard lock(queues->queueLock);
  device->AddToCyclic(a.get(), 1000);
  tick = 1600;
  device->AddToCyclic(b.get(), 500);
  device->cyclicBlocks[0]->lastRead = 900;  // due at 1901
  device->MoveToRate(b.get(), 1000);        // a block of its own, made at 1600
  ASSERT_EQ(device->cyclicBlocks.size(), 2u);
  device->RebuildCyclicBlocks();
  ASSERT_EQ(device->cyclicBlocks.size(), 1u);
  EXPECT_EQ(device->cyclicBlocks[0]->lastRead, 900u);
  EXPECT_EQ(device->nextBlock, 0u);
}

TEST_F(BlockPlanTest, deviceReadsOfSpreadTagsGoOutInFewMessages_untilABridgedReadIsRefused) {
  std::vector<SOCmnPointer<PlcTag>> spread;
  std::vector<SOCmnPointer<SODaSRequest>> requests;
  for (std::uint16_t i = 0; i < 30; ++i) spread.push_back(tag(i * 20));
  io.registers[580] = 42;
  device->bridgeRegisters = 40;
  for (auto& t : spread) requests.push_back(t->submitRead(SODASREQUEST_TYPE_ASYNC_DEVICE));
  runReads();
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 0, 501}, {false, 520, 61}}));
  EXPECT_EQ(requests.back()->getReadResult()->value.iVal(), 42);

  // The PLC refuses a bridged read but each tag's own: the gap was what it refused, so
  // bridging is given up.
  io.log.clear();
  io.failAt = 0;
  io.failOnlyThatOne = true;
  io.failCode = plc::kRequestRefused;
  for (int i = 0; i < 2; ++i) spread[i]->submitRead(SODASREQUEST_TYPE_ASYNC_DEVICE);
  runReads();
  EXPECT_TRUE(device->bridgingRefused);
  EXPECT_EQ(device->bridgeRegisters, kMaxReadGap);
}
