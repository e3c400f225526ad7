// Device reads and writes: how requests are gathered into blocks, what goes to the PLC, and
// how every request is completed.
#include <gtest/gtest.h>

#include <atomic>

#include "server/opc/ValueConversion.h"
#include "tests/plc/BlockTestSupport.h"

using namespace zentarc;
using Message = testsupport::FakeRegisterAccess::Message;

namespace {

class DeviceRequestsTest : public ::testing::Test, public testsupport::BlockFixture {
 protected:
  SOCmnPointer<SODaSRequest> write(const SOCmnPointer<PlcTag>& t, const SOCmnVariant& v) {
    return t->submitWrite(v);
  }
};

}  // namespace

TEST_F(DeviceRequestsTest, adjacentWritesInAscendingOrderShareOneMessage) {
  auto a = tag(10), b = tag(11), c = tag(20);
  auto ra = write(a, SOCmnVariant::fromI2(1));
  auto rb = write(b, SOCmnVariant::fromI2(2));
  auto rc = write(c, SOCmnVariant::fromI2(3));
  runWrites();
  EXPECT_EQ(io.writes(), (std::vector<Message>{{true, 10, 2}, {true, 20, 1}}));
  EXPECT_EQ(io.registers[10], 1);
  EXPECT_EQ(io.registers[11], 2);
  EXPECT_EQ(io.registers[20], 3);
  for (auto* r : {ra.get(), rb.get(), rc.get()}) {
    EXPECT_TRUE(r->isCompleted());
    EXPECT_EQ(r->getResult(), S_OK);
  }
  EXPECT_TRUE(device->writeBlocks.empty());
}

TEST_F(DeviceRequestsTest, aWriteBeforeTheBlockOrOneRegisterPastItGetsItsOwnBlock) {
  auto r11 = tag(11), r10 = tag(10), r13 = tag(13);
  io.registers[12] = 0x5555;
  write(r11, SOCmnVariant::fromI2(1));
  write(r10, SOCmnVariant::fromI2(2));
  write(r13, SOCmnVariant::fromI2(3));  // T = E + 2 of the block at 11
  runWrites();
  EXPECT_EQ(io.writes(), (std::vector<Message>{{true, 11, 1}, {true, 10, 1}, {true, 13, 1}}));
  EXPECT_EQ(io.registers[12], 0x5555);  // no register is written without a value
}

TEST_F(DeviceRequestsTest, bitAndOddByteWritesKeepWhatTheyDoNotCover) {
  auto flag = tag(5, VT_BOOL, 0, 3);
  auto text = tag(6, VT_BSTR, 3);  // 2 registers, the high byte of the second is not its own
  io.registers[5] = 0x000F;
  io.registers[7] = 0xAB00;
  write(flag, SOCmnVariant::fromBool(false));
  write(text, SOCmnVariant::fromBstr(u"xyz"));
  runWrites();
  EXPECT_EQ(io.registers[5], 0x0007);
  EXPECT_EQ(io.registers[6], 0x7978);
  EXPECT_EQ(io.registers[7], 0xAB7A);
  // The boolean's register alone, read right before it is written back, so that the PLC's
  // own changes to its other bits are lost only within that one round trip; then the
  // string, its last register read first.
  EXPECT_EQ(io.log, (std::vector<Message>{{false, 5, 1}, {true, 5, 1}, {false, 7, 1}, {true, 6, 2}}));
}

TEST_F(DeviceRequestsTest, twoBitWritesToOneRegisterInOneBlockBothTakeEffect) {
  auto bit0 = tag(5, VT_BOOL, 0, 0), bit1 = tag(5, VT_BOOL, 0, 1);
  io.registers[5] = 0x8000;
  write(bit0, SOCmnVariant::fromBool(true));
  write(bit1, SOCmnVariant::fromBool(true));
  runWrites();
  EXPECT_EQ(io.writes().size(), 1u);
  EXPECT_EQ(io.registers[5], 0x8003);
}

TEST_F(DeviceRequestsTest, aRefusedValueFailsItsWholeBlockAndSendsNothing) {
  auto a = tag(10), b = tag(11);
  auto good = write(a, SOCmnVariant::fromI2(1));
  auto bad = write(b, SOCmnVariant::fromR4(2.0f));  // not the tag's type
  runWrites();
  EXPECT_TRUE(io.writes().empty());
  for (auto* r : {good.get(), bad.get()}) {
    EXPECT_EQ(r->getResult(), E_FAIL);
    EXPECT_TRUE(r->isWriteQualityValid());
    EXPECT_EQ(r->getWriteQuality(), 0x00);
  }
}

TEST_F(DeviceRequestsTest, aFailedWriteOrSelectionCompletesWithTheQualityOfItsCode) {
  auto a = tag(10);
  auto r1 = write(a, SOCmnVariant::fromI2(1));
  io.failAt = 0;
  io.failCode = plc::kNoAnswer;
  runWrites();
  EXPECT_EQ(r1->getResult(), E_FAIL);
  EXPECT_EQ(r1->getWriteQuality(), 0x18);

  io.failAt = -1;
  io.log.clear();
  auto r2 = write(a, SOCmnVariant::fromI2(1));
  auto read = a->submitRead();
  runWrites(plc::kRequestRefused);
  runReads(plc::kRequestRefused);
  EXPECT_TRUE(io.log.empty());  // nothing reaches any PLC
  EXPECT_EQ(r2->getWriteQuality(), 0x1C);
  EXPECT_TRUE(read->isCompleted());
  EXPECT_EQ(read->getResult(), S_OK);
  EXPECT_EQ(a->getCache()->getQuality(), 0x1C);
}

TEST_F(DeviceRequestsTest, tagsOfNoKnownTypeCompleteAtOnceAsFailed) {
  auto none = tag(10, VT_EMPTY);
  auto w = write(none, SOCmnVariant::fromI2(1));
  auto r = none->submitRead();
  queueWrites();
  queueReads();
  EXPECT_TRUE(w->isCompleted());
  EXPECT_EQ(w->getResult(), E_FAIL);
  EXPECT_TRUE(r->isCompleted());
  EXPECT_EQ(none->getCache()->getQuality(), 0x00);
  EXPECT_TRUE(device->writeBlocks.empty());
  EXPECT_TRUE(device->readBlocks.empty());
}

TEST_F(DeviceRequestsTest, deviceReadsJoinByTheReadRuleAndStoreValues) {
  auto a = tag(10), b = tag(21, VT_I4), far = tag(40), arr = tag(22, VT_ARRAY | VT_UI2, 2);
  io.registers[10] = 7;
  io.registers[21] = 0x0001;
  io.registers[22] = 0x0000;
  io.registers[40] = 9;
  io.registers[23] = 5;
  std::vector<SOCmnPointer<SODaSRequest>> requests;
  for (auto* t : {&a, &b, &far, &arr}) requests.push_back((*t)->submitRead());
  runReads();
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 10, 13}, {false, 40, 1}, {false, 22, 2}}));
  EXPECT_EQ(a->getCache()->getValue().iVal(), 7);
  EXPECT_EQ(b->getCache()->getValue().lVal(), 65536);
  EXPECT_EQ(far->getCache()->getValue().iVal(), 9);
  EXPECT_EQ(arr->getCache()->getValue().arrayData<std::uint16_t>()[1], 5);
  for (const auto& r : requests) EXPECT_TRUE(r->isCompleted());

  io.failAt = 0;
  io.failCode = plc::kNotConnected;
  auto again = a->submitRead();
  runReads();
  EXPECT_TRUE(again->isCompleted());
  EXPECT_EQ(again->getResult(), S_OK);  // the failure shows in the cache's quality
  EXPECT_EQ(a->getCache()->getQuality(), 0x18);
}

TEST_F(DeviceRequestsTest, requestsHoldTheirPlaceInTheBoundUntilDropped_andAnsweredOnesAreNeverSent) {
  auto a = tag(10);
  std::vector<SOCmnPointer<SODaSRequest>> reads;
  reads.reserve(kMaxQueuedRequests);
  for (std::size_t i = 0; i < kMaxQueuedRequests; ++i) reads.push_back(a->submitRead());
  queueReads();  // the worker took them into its blocks: they still take memory
  SOCmnPointer<SODaSRequest> refused = a->submitRead();
  EXPECT_TRUE(refused->isCompleted());
  EXPECT_EQ(refused->getResult(), E_FAIL);
  for (auto& r : reads) r->cancel();  // their requesters answered without them
  runReads();
  EXPECT_TRUE(io.log.empty());
  EXPECT_EQ(static_cast<std::size_t>(queues->queuedRequests), 0u);
  EXPECT_FALSE(a->submitRead()->isCompleted());
}

TEST_F(DeviceRequestsTest, answeredWritesAreDroppedBeforeAnyPreReadOrWrite_andTheirRegistersKept) {
  auto a = tag(10), b = tag(11), bit = tag(30, VT_BOOL, 0, 2);
  io.registers[10] = 0x5555;
  auto ra = write(a, SOCmnVariant::fromI2(1));
  auto rb = write(b, SOCmnVariant::fromI2(2));
  auto rbit = write(bit, SOCmnVariant::fromBool(true));
  queueWrites();
  ra->cancel();
  rbit->cancel();
  runWrites();
  EXPECT_EQ(io.log, (std::vector<Message>{{true, 11, 1}}));  // no pre-read of the bit's register
  EXPECT_EQ(io.registers[10], 0x5555);
  EXPECT_EQ(io.registers[11], 2);
  EXPECT_EQ(rb->getResult(), S_OK);
  EXPECT_EQ(ra->getResult(), E_ABORT);
}

TEST_F(DeviceRequestsTest, aStopWhileTheLinkIsClosedCountsEveryWriteAsUnsent) {
  write(tag(10), SOCmnVariant::fromI2(1));
  write(tag(20), SOCmnVariant::fromI2(2));
  queueWrites();
  std::atomic<bool> stopping{true};
  RequestStep step;
  step.stopping = &stopping;
  device->RunWrites(io, queues->queueLock, plc::kChannelNotOpen, &step);
  EXPECT_TRUE(io.log.empty());
  EXPECT_EQ(step.unsent, 2u);
}
