// Blocks in every memory area: one area per block and message, bit tables read in bytes (at
// most 1024 a message), writes of exactly a tag's bytes or bits, and the values that come
// back converted in the area's way.
#include <gtest/gtest.h>

#include "server/opc/ValueConversion.h"
#include "tests/plc/BlockTestSupport.h"

using namespace zentarc;
using configfile::MemoryArea;
using Message = testsupport::FakeRegisterAccess::Message;

namespace {

class AreaBlocksTest : public ::testing::Test, public testsupport::BlockFixture {
 protected:
  void poll(std::initializer_list<PlcTag*> tags, std::uint32_t rate = 1000) {
    std::lock_guard lock(queues->queueLock);
    for (PlcTag* t : tags) device->AddToCyclic(t, rate);
  }
  plc::ResultCode readAll() {
    plc::ResultCode code = plc::kOk;
    for (const auto& block : device->cyclicBlocks) {
      device->ReadCyclicBlock(*block, code, io);
      if (code != plc::kOk) return code;
    }
    return code;
  }
  SOCmnVariant value(const SOCmnPointer<PlcTag>& t) { return t->getCache()->getValue(); }
};

}  // namespace

TEST_F(AreaBlocksTest, noBlockMixesAreasAndBitTablesAreReadInBytesWithTheirSelector) {
  // The same numbers in four areas: four blocks, four messages.
  auto r = tag(16), ai = tag(16, VT_I2, 0, 0, MemoryArea::AI);
  auto i = tag(16, VT_BOOL, 0, 0, MemoryArea::I), q = tag(16, VT_UI2, 0, 0, MemoryArea::Q);
  io.registers[16] = 7;
  io.memory.setWord(MemoryArea::AI, 16, 100);
  io.memory.setBit(MemoryArea::I, 16, true);   // %I17: bit 0 of byte 2
  io.memory.setWord(MemoryArea::Q, 1, 0x1234); // %Q17-%Q32: bytes 2 and 3
  poll({r.get(), ai.get(), i.get(), q.get()});
  ASSERT_EQ(device->cyclicBlocks.size(), 4u);
  ASSERT_EQ(readAll(), plc::kOk);
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 16, 1, 0x08}, {false, 16, 1, 0x0A}, {false, 2, 1, 0x10},
                                              {false, 2, 2, 0x12}}));
  EXPECT_EQ(value(r).iVal(), 7);
  EXPECT_EQ(value(ai).iVal(), 100);
  EXPECT_EQ(value(i).boolVal(), VARIANT_TRUE);
  EXPECT_EQ(value(q).uiVal(), 0x1234);
}

TEST_F(AreaBlocksTest, bitTableNeighboursJoinAcrossTenUnusedBytesNotEleven) {
  auto first = tag(0, VT_BOOL, 0, 0, MemoryArea::M);        // byte 0
  auto near = tag(88, VT_BOOL, 0, 0, MemoryArea::M);        // byte 11: ten bytes between
  auto far = tag(8 * 23, VT_ARRAY | VT_BOOL, 3, 0, MemoryArea::M);  // byte 23: eleven between
  auto otherRate = tag(1, VT_BOOL, 0, 0, MemoryArea::M);
  poll({first.get(), near.get(), far.get()});
  poll({otherRate.get()}, 500);
  ASSERT_EQ(device->cyclicBlocks.size(), 3u);
  EXPECT_EQ(device->cyclicBlocks[0]->firstRegister, 0u);
  EXPECT_EQ(device->cyclicBlocks[0]->length, 12u);
  EXPECT_EQ(device->cyclicBlocks[0]->unit, plc::ge::Unit::Byte);
  EXPECT_EQ(device->cyclicBlocks[1]->firstRegister, 23u);
}

TEST_F(AreaBlocksTest, aBitTableBlockIsReadInPiecesOf1024BytesAndAWordTableOf512Registers) {
  auto bytes = tag(0, VT_ARRAY | VT_UI1, 1500, 0, MemoryArea::G);
  auto words = tag(0, VT_ARRAY | VT_UI2, 1000, 0, MemoryArea::AQ);
  io.memory.setBit(MemoryArea::G, 8 * 1499 + 7, true);
  poll({bytes.get(), words.get()});
  ASSERT_EQ(readAll(), plc::kOk);
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 0, 1024, 0x38}, {false, 1024, 476, 0x38},
                                              {false, 0, 512, 0x0C}, {false, 512, 488, 0x0C}}));
  EXPECT_EQ(value(bytes).arrayData<std::uint8_t>()[1499], 0x80);
}

TEST_F(AreaBlocksTest, booleansAreWrittenInBitsWithoutReadingAndAdjacentOnesShareAMessage) {
  auto q3 = tag(2, VT_BOOL, 0, 0, MemoryArea::Q), q4 = tag(3, VT_BOOL, 0, 0, MemoryArea::Q);
  auto run = tag(4, VT_ARRAY | VT_BOOL, 6, 0, MemoryArea::Q);  // %Q5-%Q10
  io.memory.write(MemoryArea::Q, plc::ge::Unit::Byte, 0, 2, std::vector<std::uint8_t>{0xFF, 0xFF}.data());
  q3->submitWrite(SOCmnVariant::fromBool(false));
  q4->submitWrite(SOCmnVariant::fromBool(false));
  const std::vector<std::int16_t> values{0, -1, 0, 0, 0, 0};
  run->submitWrite(SOCmnVariant::fromArray<std::int16_t>(VT_BOOL, std::span<const std::int16_t>(values)));
  runWrites();
  EXPECT_TRUE(io.reads().empty());
  // The two single bits in one message; the array, as every array, in one of its own.
  EXPECT_EQ(io.writes(), (std::vector<Message>{{true, 2, 2, 0x48}, {true, 4, 6, 0x48}}));
  // %Q3, %Q4 and %Q7-%Q10 cleared, %Q6 set; %Q1, %Q2 and %Q11 on are kept.
  EXPECT_EQ(io.memory.read(MemoryArea::Q, plc::ge::Unit::Byte, 0, 2), (std::vector<std::uint8_t>{0x23, 0xFC}));
}

TEST_F(AreaBlocksTest, otherTypesInABitTableWriteExactlyTheirBytes) {
  auto three = tag(8, VT_ARRAY | VT_UI1, 3, 0, MemoryArea::T);  // bytes 1 to 3
  io.memory.write(MemoryArea::T, plc::ge::Unit::Byte, 0, 5, std::vector<std::uint8_t>{9, 9, 9, 9, 9}.data());
  const std::vector<std::uint8_t> values{1, 2, 3};
  auto request = three->submitWrite(SOCmnVariant::fromArray<std::uint8_t>(VT_UI1, std::span<const std::uint8_t>(values)));
  runWrites();
  EXPECT_TRUE(io.reads().empty());
  EXPECT_EQ(io.writes(), (std::vector<Message>{{true, 1, 3, 0x14}}));
  EXPECT_EQ(io.memory.read(MemoryArea::T, plc::ge::Unit::Byte, 0, 5), (std::vector<std::uint8_t>{9, 1, 2, 3, 9}));
  EXPECT_EQ(request->getResult(), S_OK);
}

TEST_F(AreaBlocksTest, aBooleanInAWordTableKeepsTheOtherBitsOfItsWordAsInR) {
  auto flag = tag(4, VT_BOOL, 0, 3, MemoryArea::AQ);
  io.memory.setWord(MemoryArea::AQ, 4, 0x000F);
  flag->submitWrite(SOCmnVariant::fromBool(false));
  runWrites();
  EXPECT_EQ(io.log, (std::vector<Message>{{false, 4, 1, 0x0C}, {true, 4, 1, 0x0C}}));
  EXPECT_EQ(io.memory.word(MemoryArea::AQ, 4), 0x0007);
}

TEST_F(AreaBlocksTest, deviceReadsGatherPerAreaAndConvertInItsWay) {
  auto word = tag(8, VT_I4, 0, 0, MemoryArea::I);  // bytes 1 to 4: registers 0x0001, 0x0002
  auto bit = tag(41, VT_BOOL, 0, 0, MemoryArea::I); // byte 5, bit 1
  auto reg = tag(8, VT_I4, 0, 0, MemoryArea::AI);
  io.memory.write(MemoryArea::I, plc::ge::Unit::Byte, 1, 5, std::vector<std::uint8_t>{1, 0, 2, 0, 0x02}.data());
  io.memory.setWord(MemoryArea::AI, 8, 1);
  auto r1 = word->submitRead(), r2 = bit->submitRead(), r3 = reg->submitRead();
  runReads();
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 1, 5, 0x10}, {false, 8, 2, 0x0A}}));
  EXPECT_EQ(value(word).lVal(), 65538);
  EXPECT_EQ(value(bit).boolVal(), VARIANT_TRUE);
  EXPECT_EQ(value(reg).lVal(), 65536);
  for (auto* r : {r1.get(), r2.get(), r3.get()}) EXPECT_TRUE(r->isCompleted());
}

// A read the PLC refuses: split until the refused tags are found, the others stay Good; the
// refused ones are left out until their retry falls due (1 s, then 2 s, ...).
TEST_F(AreaBlocksTest, aRefusedTagIsFoundBySplittingAndItsNeighboursKeepTheirValues) {
  io.memory.setSize(MemoryArea::AI, 100);  // %AI1 to %AI100
  auto a = tag(95, VT_I2, 0, 0, MemoryArea::AI), b = tag(99, VT_I2, 0, 0, MemoryArea::AI);
  auto c = tag(100, VT_I2, 0, 0, MemoryArea::AI), d = tag(104, VT_I2, 0, 0, MemoryArea::AI);
  io.memory.setWord(MemoryArea::AI, 95, 11);
  io.memory.setWord(MemoryArea::AI, 99, 22);
  poll({c.get(), a.get(), d.get(), b.get()});
  ASSERT_EQ(device->cyclicBlocks.size(), 1u);
  CyclicBlock& block = *device->cyclicBlocks[0];
  plc::ResultCode code = plc::kOk;
  device->ReadCyclicBlock(block, code, io);
  EXPECT_EQ(code, plc::kRequestRefused);
  EXPECT_EQ(block.lastCode, plc::kRequestRefused);
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 95, 10, 0x0A}, {false, 95, 5, 0x0A}, {false, 100, 5, 0x0A},
                                              {false, 100, 1, 0x0A}, {false, 104, 1, 0x0A}}));
  EXPECT_EQ(value(a).iVal(), 11);
  EXPECT_EQ(value(b).iVal(), 22);
  EXPECT_EQ(a->getCache()->getQuality(), 0xC0);
  EXPECT_EQ(c->getCache()->getQuality(), 0x04);
  EXPECT_EQ(d->getCache()->getQuality(), 0x04);

  // Until a second has passed only the tags it answers are read.
  io.log.clear();
  io.memory.setWord(MemoryArea::AI, 99, 23);
  tick += 999;
  device->ReadCyclicBlock(block, code, io);
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 95, 5, 0x0A}}));
  EXPECT_EQ(value(b).iVal(), 23);
  EXPECT_EQ(code, plc::kRequestRefused);  // still refused, so the PLC's state says so
  // Then all are tried again; once the PLC has the memory, all are Good and the block is
  // read whole again.
  io.log.clear();
  io.memory.setSize(MemoryArea::AI, 200);
  io.memory.setWord(MemoryArea::AI, 104, 44);
  tick += 2;
  device->ReadCyclicBlock(block, code, io);
  EXPECT_EQ(code, plc::kOk);
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 95, 10, 0x0A}}));
  EXPECT_EQ(value(d).iVal(), 44);
  EXPECT_EQ(d->getCache()->getQuality(), 0xC0);
  io.log.clear();
  device->ReadCyclicBlock(block, code, io);
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 95, 10, 0x0A}}));
}

TEST_F(AreaBlocksTest, refusedAgainTheRetriesSlowDownAndATransportFailureIsNoRefusal) {
  io.memory.setSize(MemoryArea::I, 64);  // 8 bytes
  auto in = tag(0, VT_BOOL, 0, 0, MemoryArea::I), out = tag(64, VT_BOOL, 0, 0, MemoryArea::I);
  poll({in.get(), out.get()});
  CyclicBlock& block = *device->cyclicBlocks[0];
  plc::ResultCode code = plc::kOk;
  device->ReadCyclicBlock(block, code, io);  // refused now: next try after 1 s
  tick += 1001;
  device->ReadCyclicBlock(block, code, io);  // refused again: next try after 2 s
  io.log.clear();
  tick += 1999;
  device->ReadCyclicBlock(block, code, io);
  EXPECT_EQ(io.reads(), (std::vector<Message>{{false, 0, 1, 0x10}}));
  tick += 2;
  io.log.clear();
  device->ReadCyclicBlock(block, code, io);
  EXPECT_EQ(io.reads().size(), 3u);  // the whole, then each half
  EXPECT_EQ(out->getCache()->getQuality(), 0x04);
  // A connection lost while reading around the refusal: the failure's quality, no refusal.
  io.log.clear();
  io.failAt = 0;
  io.failCode = plc::kConnectionLost;
  device->ReadCyclicBlock(block, code, io);
  EXPECT_EQ(code, plc::kConnectionLost);
  EXPECT_EQ(in->getCache()->getQuality(), 0x18);
}

TEST_F(AreaBlocksTest, aDeviceReadOfRefusedAndGoodTagsTogetherAnswersEachForItself) {
  io.memory.setSize(MemoryArea::AQ, 10);
  auto good = tag(9, VT_UI2, 0, 0, MemoryArea::AQ), bad = tag(10, VT_UI2, 0, 0, MemoryArea::AQ);
  io.memory.setWord(MemoryArea::AQ, 9, 99);
  auto r1 = good->submitRead(), r2 = bad->submitRead();
  runReads();
  EXPECT_EQ(io.reads().size(), 3u);
  ASSERT_TRUE(r1->isCompleted());
  ASSERT_TRUE(r2->isCompleted());
  EXPECT_EQ(good->getCache()->getQuality(), 0xC0);
  EXPECT_EQ(value(good).uiVal(), 99);
  EXPECT_EQ(bad->getCache()->getQuality(), 0x04);
}

// Blocks planned afresh (as a worker does once it has timed its PLC): still one area each,
// and a bit table's bytes bridged at twice the registers a round trip is worth.
TEST_F(AreaBlocksTest, rebuiltBlocksKeepToOneAreaAndBridgeBytesAtTheirCost) {
  auto r = tag(0), ai = tag(0, VT_I2, 0, 0, MemoryArea::AI), ai2 = tag(30, VT_I2, 0, 0, MemoryArea::AI);
  auto m1 = tag(0, VT_BOOL, 0, 0, MemoryArea::M), m2 = tag(8 * 50, VT_BOOL, 0, 0, MemoryArea::M);
  poll({r.get(), ai.get(), ai2.get(), m1.get(), m2.get()});
  ASSERT_EQ(device->cyclicBlocks.size(), 5u);
  {
    std::lock_guard lock(queues->queueLock);
    device->bridgeRegisters = 40;  // 30 registers of %AI and 49 bytes of %M are worth bridging
    device->RebuildCyclicBlocks();
  }
  ASSERT_EQ(device->cyclicBlocks.size(), 3u);
  std::vector<std::tuple<MemoryArea, std::uint32_t, std::uint32_t>> got;
  for (const auto& b : device->cyclicBlocks) got.emplace_back(b->area, b->firstRegister, b->length);
  EXPECT_EQ(got, (std::vector<std::tuple<MemoryArea, std::uint32_t, std::uint32_t>>{
                     {MemoryArea::R, 0, 1}, {MemoryArea::AI, 0, 31}, {MemoryArea::M, 0, 51}}));
  EXPECT_EQ(device->cyclicBlocks[2]->unit, plc::ge::Unit::Byte);
  ASSERT_EQ(readAll(), plc::kOk);
  EXPECT_EQ(io.reads().size(), 3u);
}

// A tag past the area's size is a refusal of that tag, not of the registers bridged between
// its neighbours: the device keeps bridging as widely as its reads are worth.
TEST_F(AreaBlocksTest, aRefusedTagDoesNotTurnWideBridgingOff) {
  io.memory.setSize(MemoryArea::AI, 40);
  auto low = tag(0, VT_I2, 0, 0, MemoryArea::AI), high = tag(30, VT_I2, 0, 0, MemoryArea::AI);
  auto past = tag(40, VT_I2, 0, 0, MemoryArea::AI);
  poll({low.get(), high.get(), past.get()});
  {
    std::lock_guard lock(queues->queueLock);
    device->bridgeRegisters = 50;
    device->RebuildCyclicBlocks();
  }
  ASSERT_EQ(device->cyclicBlocks.size(), 1u);
  ASSERT_TRUE(device->cyclicBlocks[0]->bridgedWide);
  EXPECT_EQ(readAll(), plc::kRequestRefused);
  EXPECT_EQ(low->getCache()->getQuality(), 0xC0);
  EXPECT_EQ(high->getCache()->getQuality(), 0xC0);
  EXPECT_EQ(past->getCache()->getQuality(), 0x04);
  EXPECT_FALSE(device->bridgingRefused);
  EXPECT_EQ(device->bridgeRegisters, 50u);
}
