// Values of tags in the bit tables (%I, %Q, ...) against known bytes: booleans are bits of
// the bytes, every other type takes its bytes whole and converts as registers do (bytes 2k
// and 2k+1 form register k, low byte first; the first register of a 32-bit value is its
// high half).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "server/opc/PlcTag.h"
#include "server/opc/ServerQueues.h"
#include "server/opc/TagDevice.h"
#include "server/opc/ValueConversion.h"

using namespace zentarc;

namespace {

using Bytes = std::vector<std::uint8_t>;

SOCmnVariant fromBytes(VARTYPE vt, std::uint8_t bitOffset, std::uint16_t count, const Bytes& bytes) {
  SOCmnVariant v;
  EXPECT_TRUE(bytesToValue(vt, bitOffset, count, bytes, v)) << vt;
  return v;
}

// The data a write sends, in a buffer one byte longer than it needs: the extra byte must
// keep its marker, or the write would touch a byte that is not the tag's.
Bytes toBytes(VARTYPE vt, std::uint8_t bitOffset, std::uint16_t count, const SOCmnVariant& v) {
  Bytes out(bitAreaDataBytes(vt, bitOffset, count) + 1, 0xEE);
  EXPECT_TRUE(valueToBytes(vt, bitOffset, count, v, out)) << vt;
  EXPECT_EQ(out.back(), 0xEE) << vt;
  out.pop_back();
  return out;
}

template <class E>
std::vector<E> elementsOf(const SOCmnVariant& v) {
  auto s = v.arrayData<E>();
  return {s.begin(), s.end()};
}

template <class E>
SOCmnVariant arrayOf(VARTYPE t, std::vector<E> e) {
  return SOCmnVariant::fromArray<E>(t, std::span<const E>(e));
}

}  // namespace

TEST(BitAreaConversion, aBooleanIsItsBitAndItsWriteDataHasNoOtherBitSet) {
  // %I19 is bit 2 of byte 2: the tag's data starts at that byte.
  EXPECT_EQ(fromBytes(VT_BOOL, 2, 0, {0x04}).boolVal(), VARIANT_TRUE);
  EXPECT_EQ(fromBytes(VT_BOOL, 3, 0, {0xF7}).boolVal(), VARIANT_FALSE);
  EXPECT_EQ(toBytes(VT_BOOL, 2, 0, SOCmnVariant::fromBool(true)), Bytes{0x04});
  EXPECT_EQ(toBytes(VT_BOOL, 7, 0, SOCmnVariant::fromBool(false)), Bytes{0x00});
  EXPECT_EQ(bitAreaDataBytes(VT_BOOL, 7, 0), 1u);
}

TEST(BitAreaConversion, aBooleanArrayRunsAcrossBytesFromItsBit) {
  // Bits 6 and 7 of the first byte, 0 and 1 of the next.
  EXPECT_EQ(elementsOf<std::int16_t>(fromBytes(VT_ARRAY | VT_BOOL, 6, 4, {0x40, 0x02})),
            (std::vector<std::int16_t>{-1, 0, 0, -1}));
  EXPECT_EQ(toBytes(VT_ARRAY | VT_BOOL, 6, 4, arrayOf<std::int16_t>(VT_BOOL, {0, -1, -1, 0})), (Bytes{0x80, 0x01}));
  EXPECT_EQ(bitAreaDataBytes(VT_ARRAY | VT_BOOL, 6, 4), 2u);
  EXPECT_EQ(bitAreaDataBytes(VT_ARRAY | VT_BOOL, 0, 16), 2u);
  EXPECT_EQ(bitAreaDataBytes(VT_ARRAY | VT_BOOL, 1, 16), 3u);
  const std::vector<std::int16_t> seventeen(17, -1);
  EXPECT_EQ(toBytes(VT_ARRAY | VT_BOOL, 0, 17, arrayOf<std::int16_t>(VT_BOOL, seventeen)), (Bytes{0xFF, 0xFF, 0x01}));
}

TEST(BitAreaConversion, sixteenAndThirtyTwoBitScalarsAreTheirBytesLowFirst) {
  EXPECT_EQ(fromBytes(VT_I2, 0, 0, {0xFE, 0xFF}).iVal(), -2);
  EXPECT_EQ(toBytes(VT_I2, 0, 0, SOCmnVariant::fromI2(-2)), (Bytes{0xFE, 0xFF}));
  EXPECT_EQ(fromBytes(VT_UI2, 0, 0, {0x34, 0x12}).uiVal(), 0x1234);
  EXPECT_EQ(toBytes(VT_UI2, 0, 0, SOCmnVariant::fromUI2(0x1234)), (Bytes{0x34, 0x12}));
  // Registers 0x0001 and 0x0002: the first is the high half.
  EXPECT_EQ(fromBytes(VT_I4, 0, 0, {0x01, 0x00, 0x02, 0x00}).lVal(), 65538);
  EXPECT_EQ(toBytes(VT_I4, 0, 0, SOCmnVariant::fromI4(65538)), (Bytes{0x01, 0x00, 0x02, 0x00}));
  EXPECT_EQ(fromBytes(VT_UI4, 0, 0, {0x00, 0x80, 0x01, 0x00}).ulVal(), 0x80000001u);
  EXPECT_EQ(toBytes(VT_UI4, 0, 0, SOCmnVariant::fromUI4(0x80000001u)), (Bytes{0x00, 0x80, 0x01, 0x00}));
  EXPECT_EQ(fromBytes(VT_R4, 0, 0, {0x80, 0x3F, 0x00, 0x00}).fltVal(), 1.0f);
  EXPECT_EQ(toBytes(VT_R4, 0, 0, SOCmnVariant::fromR4(-2.5f)), (Bytes{0x20, 0xC0, 0x00, 0x00}));
  EXPECT_EQ(bitAreaDataBytes(VT_I2, 0, 0), 2u);
  EXPECT_EQ(bitAreaDataBytes(VT_R4, 0, 0), 4u);
}

TEST(BitAreaConversion, stringsAndByteArraysTakeExactlyTheirBytes) {
  EXPECT_EQ(fromBytes(VT_BSTR, 0, 5, {'A', 'B', 'C', 'D', 'E'}).bstrVal(), u"ABCDE");
  // A short string is padded with NUL to its five bytes, and no sixth byte is written.
  EXPECT_EQ(toBytes(VT_BSTR, 0, 5, SOCmnVariant::fromBstr(u"AB")), (Bytes{'A', 'B', 0, 0, 0}));
  EXPECT_EQ(elementsOf<std::uint8_t>(fromBytes(VT_ARRAY | VT_UI1, 0, 3, {1, 2, 3})), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(toBytes(VT_ARRAY | VT_UI1, 0, 3, arrayOf<std::uint8_t>(VT_UI1, {7, 8, 9})), (Bytes{7, 8, 9}));
  EXPECT_EQ(elementsOf<std::int8_t>(fromBytes(VT_ARRAY | VT_I1, 0, 1, {0xFF})), (std::vector<std::int8_t>{-1}));
  EXPECT_EQ(toBytes(VT_ARRAY | VT_I1, 0, 1, arrayOf<std::int8_t>(VT_I1, {-128})), (Bytes{0x80}));
  EXPECT_EQ(bitAreaDataBytes(VT_BSTR, 0, 5), 5u);
  EXPECT_EQ(bitAreaDataBytes(VT_ARRAY | VT_UI1, 0, 3), 3u);
}

TEST(BitAreaConversion, wordArraysTakeTheirElementSizeEach) {
  EXPECT_EQ(elementsOf<std::int16_t>(fromBytes(VT_ARRAY | VT_I2, 0, 2, {0x01, 0x00, 0xFF, 0xFF})),
            (std::vector<std::int16_t>{1, -1}));
  EXPECT_EQ(toBytes(VT_ARRAY | VT_UI2, 0, 2, arrayOf<std::uint16_t>(VT_UI2, {0x0102, 0xFFFE})),
            (Bytes{0x02, 0x01, 0xFE, 0xFF}));
  EXPECT_EQ(elementsOf<std::int32_t>(fromBytes(VT_ARRAY | VT_I4, 0, 1, {0xFF, 0xFF, 0xFE, 0xFF})),
            (std::vector<std::int32_t>{-2}));
  EXPECT_EQ(toBytes(VT_ARRAY | VT_UI4, 0, 2, arrayOf<std::uint32_t>(VT_UI4, {1, 0x00020003})),
            (Bytes{0, 0, 1, 0, 2, 0, 3, 0}));
  EXPECT_EQ(elementsOf<float>(fromBytes(VT_ARRAY | VT_R4, 0, 1, {0x00, 0x40, 0x00, 0x00})), (std::vector<float>{2.0f}));
  EXPECT_EQ(bitAreaDataBytes(VT_ARRAY | VT_R4, 0, 3), 12u);
}

TEST(BitAreaConversion, refusesShortBuffersOtherTypesAndBitOffsetsPastTheByte) {
  SOCmnVariant v = SOCmnVariant::fromI2(3);
  EXPECT_FALSE(bytesToValue(VT_I4, 0, 0, Bytes{1, 2, 3}, v));
  EXPECT_FALSE(bytesToValue(VT_BOOL, 8, 0, Bytes{0xFF, 0xFF}, v));
  EXPECT_FALSE(bytesToValue(0, 0, 0, Bytes{1}, v));
  EXPECT_EQ(v.iVal(), 3);
  Bytes out(4, 0);
  EXPECT_FALSE(valueToBytes(VT_I2, 0, 0, SOCmnVariant::fromUI2(1), out));
  EXPECT_FALSE(valueToBytes(VT_ARRAY | VT_UI1, 0, 5, arrayOf<std::uint8_t>(VT_UI1, {1, 2, 3, 4, 5}), out));
  EXPECT_FALSE(valueToBytes(VT_ARRAY | VT_UI1, 0, 3, arrayOf<std::uint8_t>(VT_UI1, {1, 2}), out));
  EXPECT_EQ(out, Bytes(4, 0));
}

TEST(BitAreaConversion, aTagsPlaceAndStoreFollowItsArea) {
  auto queues = std::make_shared<ServerQueues>();
  SOCmnPointer<TagDevice> plc(new TagDevice("P", 0));
  using configfile::MemoryArea;
  // %Q7-%Q10 (bit index 6), %I17 as a 16-bit word, %AI5 as a register.
  SOCmnPointer<PlcTag> bits(new PlcTag("B", 3, VT_ARRAY | VT_BOOL, "", 6, 0, 4, plc.get(), queues, MemoryArea::Q));
  SOCmnPointer<PlcTag> word(new PlcTag("W", 3, VT_UI2, "", 16, 0, 0, plc.get(), queues, MemoryArea::I));
  SOCmnPointer<PlcTag> reg(new PlcTag("R", 3, VT_UI2, "", 4, 0, 0, plc.get(), queues, MemoryArea::AI));
  EXPECT_EQ(tagExtent(*bits).first, 0u);
  EXPECT_EQ(tagExtent(*bits).span, 2u);
  EXPECT_EQ(tagBitOffset(*bits), 6);
  EXPECT_EQ(tagExtent(*word).first, 2u);
  EXPECT_EQ(tagExtent(*word).span, 2u);
  EXPECT_EQ(tagExtent(*reg).first, 4u);
  EXPECT_EQ(tagExtent(*reg).span, 1u);
  ASSERT_TRUE(storeBytes(*bits, Bytes{0xC0, 0x03}));
  EXPECT_EQ(elementsOf<std::int16_t>(bits->getCache()->getValue()), (std::vector<std::int16_t>{-1, -1, -1, -1}));
  EXPECT_EQ(bits->getCache()->getQuality(), 0xC0);

  RequestRecord record;
  record.tag = bits;
  record.request = SOCmnPointer<SODaSRequest>(new SODaSRequest(
      SODASREQUEST_OPERATION_WRITE, SODASREQUEST_TYPE_ASYNC_WRITE, bits, arrayOf<std::int16_t>(VT_BOOL, {-1, 0, 0, -1})));
  Bytes out(2, 0xFF);
  ASSERT_TRUE(fillWriteBytes(record, out));
  EXPECT_EQ(out, (Bytes{0x40, 0x02}));
}
