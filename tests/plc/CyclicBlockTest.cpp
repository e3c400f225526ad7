// Cyclic blocks: joining rules, buffer sizing, scheduling of tags and the reads of a block.
#include <gtest/gtest.h>

#include "server/opc/ValueConversion.h"
#include "server/plc/RegisterBlock.h"
#include "tests/plc/BlockTestSupport.h"

using namespace zentarc;
using Message = testsupport::FakeRegisterAccess::Message;

namespace {

class CyclicBlockTest : public ::testing::Test, public testsupport::BlockFixture {};

}  // namespace

TEST(BlockRules, readGapOfTenIsBridgedElevenIsNot) {
  EXPECT_TRUE(isNearForRead(100, 100, 111, 1));   // 10 registers between
  EXPECT_FALSE(isNearForRead(100, 100, 112, 1));  // 11 between
  EXPECT_TRUE(isNearForRead(100, 104, 102, 1));   // inside
  EXPECT_TRUE(isNearForRead(100, 104, 90, 1));    // starts 10 before
  EXPECT_FALSE(isNearForRead(100, 104, 89, 20));  // starts 11 before, whatever its span
  EXPECT_FALSE(isNearForRead(100, 104, 102, 0));  // no span never joins
  EXPECT_TRUE(isNearForRead(65530, 65535, 65535, 1));
}

TEST(BlockRules, writeJoinsOnlyWithoutAGapAndNeverBefore) {
  EXPECT_TRUE(joinsForWrite(10, 10, 11, 1));   // follows directly
  EXPECT_TRUE(joinsForWrite(10, 12, 11, 4));   // overlaps and grows
  EXPECT_FALSE(joinsForWrite(10, 10, 12, 1));  // T = E + 2 would leave register 11 unwritten
  EXPECT_FALSE(joinsForWrite(11, 11, 10, 1));  // starts before
  EXPECT_TRUE(joinsForWrite(10, 11, 10, 1));   // the first register alone
  EXPECT_FALSE(joinsForWrite(10, 11, 10, 2));
  EXPECT_FALSE(joinsForWrite(10, 10, 20, 1));
}

TEST(BlockRules, buffersHave64RegistersOfSlackWithoutOverflow) {
  EXPECT_EQ(initialCapacity(1), 64u);
  EXPECT_EQ(initialCapacity(63), 64u);
  EXPECT_EQ(initialCapacity(64), 128u);
  EXPECT_EQ(initialCapacity(65536), 65600u);  // a whole register table still fits

  RegisterBlock block(0, 10);
  block.cover(100, 1, false);  // grows past 64
  EXPECT_EQ(block.length, 101u);
  EXPECT_EQ(block.capacity, 165u);
  EXPECT_EQ(block.buffer.size(), 165u);
  block.cover(65535, 1, false);
  EXPECT_EQ(block.length, 65536u);
  EXPECT_EQ(block.lastRegister(), 65535u);
  EXPECT_GE(block.buffer.size(), 65536u);
}

TEST(BlockRules, growingToTheLeftKeepsEachRegistersValueWhenAsked) {
  RegisterBlock block(10, 2);
  block.buffer[0] = 7;
  block.buffer[1] = 8;
  block.cover(8, 1, true);
  EXPECT_EQ(block.firstRegister, 8u);
  EXPECT_EQ(*block.at(10), 7);
  EXPECT_EQ(*block.at(11), 8);
}

TEST_F(CyclicBlockTest, tagsTenApartShareABlockElevenApartDoNot) {
  auto a = tag(100), b = tag(111), c = tag(200), d = tag(212);
  std::lock_guard lock(queues->queueLock);
  device->AddToCyclic(a.get(), 1000);
  device->AddToCyclic(b.get(), 1000);
  device->AddToCyclic(c.get(), 1000);
  device->AddToCyclic(d.get(), 1000);
  ASSERT_EQ(device->cyclicBlocks.size(), 3u);
  const CyclicBlock& shared = *device->cyclicBlocks[0];
  EXPECT_EQ(shared.firstRegister, 100u);
  EXPECT_EQ(shared.length, 12u);
  EXPECT_EQ(shared.tags.size(), 2u);
  EXPECT_EQ(a->pollBlock, &shared);
  EXPECT_EQ(b->unscheduled, 0u);
  EXPECT_EQ(shared.lastRead, 1000u);
  EXPECT_EQ(shared.capacity, 64u);
  EXPECT_EQ(device->cyclicBlocks[2]->firstRegister, 212u);
}

TEST_F(CyclicBlockTest, aTagBeforeTheBlockWidensItToTheUnion) {
  auto a = tag(300, VT_ARRAY | VT_I2, 5);
  auto s1 = tag(100, VT_I4), s2 = tag(103, VT_I2), s3 = tag(104);
  auto wide = tag(95, VT_BSTR, 40);  // 20 registers, 95..114
  std::lock_guard lock(queues->queueLock);
  device->AddToCyclic(s1.get(), 500);
  device->AddToCyclic(s2.get(), 500);
  device->AddToCyclic(s3.get(), 500);
  device->AddToCyclic(wide.get(), 500);
  ASSERT_EQ(device->cyclicBlocks.size(), 1u);
  EXPECT_EQ(device->cyclicBlocks[0]->firstRegister, 95u);
  EXPECT_EQ(device->cyclicBlocks[0]->lastRegister(), 114u);
  // Another rate gets its own block even over the same registers.
  auto other = tag(100);
  device->AddToCyclic(other.get(), 1000);
  device->AddToCyclic(a.get(), 500);
  auto afterArray = tag(305);  // near the array block at its rate, yet not in it
  device->AddToCyclic(afterArray.get(), 500);
  ASSERT_EQ(device->cyclicBlocks.size(), 4u);
  EXPECT_TRUE(device->cyclicBlocks[2]->holdsArray);
  EXPECT_EQ(device->cyclicBlocks[2]->tags.size(), 1u);
  EXPECT_EQ(device->cyclicBlocks[0]->tags.size(), 4u);
}

TEST_F(CyclicBlockTest, removingTagsShrinksTheBlockAndTheLastOneDestroysIt) {
  auto a = tag(10), b = tag(15), c = tag(20), far = tag(100);
  std::lock_guard lock(queues->queueLock);
  for (auto* t : {a.get(), b.get(), c.get()}) device->AddToCyclic(t, 1000);
  device->AddToCyclic(far.get(), 1000);
  const long refs = c->getRefCount();
  device->RemoveFromCyclic(c.get());
  EXPECT_EQ(c->unscheduled, 1u);
  EXPECT_EQ(c->getRefCount(), refs - 1);            // the block let go of it
  EXPECT_EQ(c->pollBlock, device->cyclicBlocks[0].get());  // still names the block it left
  // Destroying another block must not cancel the first block's new range.
  device->RemoveFromCyclic(far.get());
  EXPECT_EQ(device->cyclicBlocks.size(), 1u);
  device->RecomputeRanges();
  EXPECT_EQ(device->cyclicBlocks[0]->firstRegister, 10u);
  EXPECT_EQ(device->cyclicBlocks[0]->length, 6u);
  device->RemoveFromCyclic(a.get());
  device->RemoveFromCyclic(b.get());
  EXPECT_TRUE(device->cyclicBlocks.empty());
  EXPECT_TRUE(device->blocksToRecompute.empty());
  // A tag that is out already, or has no known type, is left alone.
  device->RemoveFromCyclic(a.get());
  auto none = tag(5, VT_EMPTY);
  device->AddToCyclic(none.get(), 1000);
  EXPECT_TRUE(device->cyclicBlocks.empty());
  EXPECT_EQ(none->unscheduled, 1u);
}

TEST_F(CyclicBlockTest, aTagIsNeverInTwoBlocks) {
  auto a = tag(10), b = tag(12);
  std::lock_guard lock(queues->queueLock);
  device->AddToCyclic(a.get(), 1000);
  device->AddToCyclic(b.get(), 1000);
  // Activated again at another rate while still in its block: it moves as a whole.
  device->AddToCyclic(a.get(), 500);
  ASSERT_EQ(device->cyclicBlocks.size(), 2u);
  int blocksHoldingA = 0;
  for (const auto& block : device->cyclicBlocks) blocksHoldingA += block->hasTag(a.get()) ? 1 : 0;
  EXPECT_EQ(blocksHoldingA, 1);
  EXPECT_EQ(a->pollBlock->updateRate, 500u);
  // At the same rate it simply stays.
  device->AddToCyclic(a.get(), 500);
  EXPECT_EQ(device->cyclicBlocks.size(), 2u);
  EXPECT_EQ(a->pollBlock->tags.size(), 1u);
  device->RecomputeRanges();
  EXPECT_EQ(b->pollBlock->firstRegister, 12u);
  EXPECT_EQ(b->pollBlock->length, 1u);
}

TEST_F(CyclicBlockTest, moveToRateAndRejoiningThePreviousBlock) {
  auto a = tag(10), b = tag(11);
  std::lock_guard lock(queues->queueLock);
  device->AddToCyclic(a.get(), 1000);
  device->AddToCyclic(b.get(), 1000);
  CyclicBlock* first = a->pollBlock;
  first->serviced = 1;
  device->RemoveFromCyclic(a.get());
  device->AddToCyclic(a.get(), 1000);  // back into the block it left, which is due again
  EXPECT_EQ(a->pollBlock, first);
  EXPECT_EQ(first->serviced, 0u);
  device->MoveToRate(b.get(), 200);
  EXPECT_EQ(b->pollBlock->updateRate, 200u);
  EXPECT_EQ(first->tags.size(), 1u);
}

TEST_F(CyclicBlockTest, rotationStartsAtTheSecondBlockAndWraps) {
  auto a = tag(0), b = tag(100), c = tag(200);
  std::lock_guard lock(queues->queueLock);
  EXPECT_EQ(device->NextCyclicBlock(), nullptr);
  EXPECT_TRUE(device->AllServiced());
  for (auto* t : {a.get(), b.get(), c.get()}) device->AddToCyclic(t, 100);
  EXPECT_EQ(device->NextCyclicBlock(), device->cyclicBlocks[1].get());
  EXPECT_EQ(device->NextCyclicBlock(), device->cyclicBlocks[2].get());
  EXPECT_EQ(device->NextCyclicBlock(), device->cyclicBlocks[0].get());
  EXPECT_FALSE(device->AllServiced());
  for (const auto& block : device->cyclicBlocks) block->serviced = 1;
  EXPECT_TRUE(device->AllServiced());
  device->ClearServiced();
  EXPECT_FALSE(device->AllServiced());
}

TEST_F(CyclicBlockTest, aThousandRegistersAreReadAs512And488AndStored) {
  auto first = tag(0, VT_I4), last = tag(998, VT_I4);
  {
    std::lock_guard lock(queues->queueLock);
    device->AddToCyclic(first.get(), 100);
    auto fillers = std::vector<SOCmnPointer<PlcTag>>();
    for (std::uint16_t r = 10; r < 998; r += 10) {
      fillers.push_back(tag(r));
      device->AddToCyclic(fillers.back().get(), 100);
    }
    device->AddToCyclic(last.get(), 100);
  }
  ASSERT_EQ(device->cyclicBlocks.size(), 1u);
  CyclicBlock& block = *device->cyclicBlocks[0];
  EXPECT_EQ(block.length, 1000u);
  io.registers[0] = 0x0001;
  io.registers[1] = 0x0002;
  io.registers[998] = 0xFFFF;
  io.registers[999] = 0xFFFE;
  tick = 5000;
  plc::ResultCode code = 99;
  device->ReadCyclicBlock(block, code, io);
  EXPECT_EQ(code, plc::kOk);
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 0, 512}, {false, 512, 488}}));
  EXPECT_EQ(first->getCache()->getValue().lVal(), 65538);
  EXPECT_EQ(last->getCache()->getValue().lVal(), -2);
  EXPECT_EQ(last->getCache()->getQuality(), 0xC0);
  EXPECT_EQ(block.lastRead, 5000u);
  EXPECT_EQ(block.serviced, 1u);
}

TEST_F(CyclicBlockTest, aFailedPieceStopsTheReadAndSetsTheQualityOfItsCode) {
  auto a = tag(0), b = tag(600);
  {
    std::lock_guard lock(queues->queueLock);
    device->AddToCyclic(a.get(), 100);
    for (std::uint16_t r = 10; r < 600; r += 10) device->AddToCyclic(tag(r).get(), 100);
    device->AddToCyclic(b.get(), 100);
  }
  ASSERT_EQ(device->cyclicBlocks.size(), 1u);
  io.failAt = 0;
  io.failCode = plc::kBadResponse;
  plc::ResultCode code = 0;
  device->ReadCyclicBlock(*device->cyclicBlocks[0], code, io);
  EXPECT_EQ(code, plc::kBadResponse);
  EXPECT_EQ(io.log.size(), 1u);
  EXPECT_EQ(a->getCache()->getQuality(), 0x0C);
  EXPECT_EQ(b->getCache()->getQuality(), 0x0C);
  device->SetQualityAll(0x18);
  EXPECT_EQ(b->getCache()->getQuality(), 0x18);
}

TEST_F(CyclicBlockTest, dueTimesUseUnsignedTickDifferences) {
  auto a = tag(0);
  tick = 0xFFFFFF00u;  // just before the 32-bit wrap
  {
    std::lock_guard lock(queues->queueLock);
    device->AddToCyclic(a.get(), 1000);
  }
  const CyclicBlock& block = *device->cyclicBlocks[0];
  EXPECT_FALSE(block.isDue(0xFFFFFF00u + 1000));
  EXPECT_EQ(block.msUntilDue(0xFFFFFF00u + 1000), 1u);
  EXPECT_TRUE(block.isDue(0xFFFFFF00u + 1001));  // past the wrap
  EXPECT_EQ(device->MsUntilNextDue(0xFFFFFF00u + 2000), 0u);
}

TEST_F(CyclicBlockTest, theRateCountsFromTheStartOfARead_soALatePlcIsStillReadAtItsRate) {
  auto a = tag(0);
  {
    std::lock_guard lock(queues->queueLock);
    device->AddToCyclic(a.get(), 100);
  }
  CyclicBlock& block = *device->cyclicBlocks[0];
  // Each message takes the PLC 30 ms to answer.
  struct LateAccess : RegisterAccess {
    LateAccess(RegisterAccess& inner, std::uint32_t& tick) : inner(inner), tick(tick) {}
    plc::ResultCode ReadRegisters(std::uint16_t count, std::uint16_t index, std::uint16_t* destination) override {
      tick += 30;
      return inner.ReadRegisters(count, index, destination);
    }
    plc::ResultCode WriteRegisters(std::uint16_t count, std::uint16_t index, const std::uint16_t* source) override {
      tick += 30;
      return inner.WriteRegisters(count, index, source);
    }
    RegisterAccess& inner;
    std::uint32_t& tick;
  } late(io, tick);
  tick = 1101;
  plc::ResultCode code = 99;
  device->ReadCyclicBlock(block, code, late);
  EXPECT_EQ(tick, 1131u);
  EXPECT_EQ(block.lastRead, 1101u);
  EXPECT_FALSE(block.isDue(1201));
  EXPECT_TRUE(block.isDue(1202));  // 101 ms after the last read began, not after it ended
}
