// The packed array layouts byte for byte, and arrays a peer sends that cannot be ours.
#include <gtest/gtest.h>

#include <limits>

#include "server/mqtt/sparkplug/ArrayPacking.h"

using namespace zentarc::mqtt::sparkplug;

namespace {

template <class E>
SOCmnVariant arrayOf(VARTYPE element, std::initializer_list<E> items) {
  return SOCmnVariant::fromArray<E>(element, std::span<const E>(items.begin(), items.size()));
}

std::string packed(const SOCmnVariant& v) {
  std::string out;
  EXPECT_TRUE(packArray(v, out));
  return out;
}

}  // namespace

TEST(SparkplugArrays, elementsAreLittleEndianBackToBack) {
  using namespace std::string_literals;
  EXPECT_EQ(packed(arrayOf<std::int8_t>(VT_I1, {-1, 2})), "\xFF\x02"s);
  EXPECT_EQ(packed(arrayOf<std::uint8_t>(VT_UI1, {200})), "\xC8"s);
  EXPECT_EQ(packed(arrayOf<std::int16_t>(VT_I2, {1, -2})), "\x01\x00\xFE\xFF"s);
  EXPECT_EQ(packed(arrayOf<std::uint16_t>(VT_UI2, {0x1234})), "\x34\x12"s);
  EXPECT_EQ(packed(arrayOf<std::int32_t>(VT_I4, {-2})), "\xFE\xFF\xFF\xFF"s);
  EXPECT_EQ(packed(arrayOf<std::uint32_t>(VT_UI4, {0x01020304})), "\x04\x03\x02\x01"s);
  EXPECT_EQ(packed(arrayOf<float>(VT_R4, {1.0f})), "\x00\x00\x80\x3F"s);
  EXPECT_EQ(packed(SOCmnVariant::makeArray(VT_I2, 0)), ""s);
}

TEST(SparkplugArrays, booleansCarryTheirCountAndPackTheFirstInTheTopBit) {
  using namespace std::string_literals;
  const SOCmnVariant bits =
      arrayOf<VARIANT_BOOL>(VT_BOOL, {VARIANT_TRUE, VARIANT_FALSE, VARIANT_TRUE, VARIANT_FALSE, VARIANT_FALSE,
                                      VARIANT_FALSE, VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE});
  EXPECT_EQ(packed(bits), "\x09\x00\x00\x00\xA0\x80"s);
  SOCmnVariant back;
  ASSERT_TRUE(unpackArray(DataType::BooleanArray, packed(bits), 100, back));
  EXPECT_EQ(back, bits);
  EXPECT_EQ(packed(SOCmnVariant::makeArray(VT_BOOL, 0)), "\x00\x00\x00\x00"s);
}

TEST(SparkplugArrays, everyElementTypeComesBackAsItWent) {
  const SOCmnVariant values[] = {
      arrayOf<std::int8_t>(VT_I1, {-128, 0, 127}),
      arrayOf<std::uint8_t>(VT_UI1, {0, 255}),
      arrayOf<std::int16_t>(VT_I2, {-32768, 32767}),
      arrayOf<std::uint16_t>(VT_UI2, {0, 65535}),
      arrayOf<std::int32_t>(VT_I4, {std::numeric_limits<std::int32_t>::min(), 7}),
      arrayOf<std::uint32_t>(VT_UI4, {std::numeric_limits<std::uint32_t>::max()}),
      arrayOf<float>(VT_R4, {-0.5f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}),
  };
  for (const SOCmnVariant& v : values) {
    SOCmnVariant back;
    ASSERT_TRUE(unpackArray(dataTypeOf(v.vt()), packed(v), 100, back)) << v.vt();
    EXPECT_EQ(back, v) << v.vt();
  }
}

TEST(SparkplugArrays, malformedOrOversizedArraysAreRefusedAndLeaveTheValue) {
  using namespace std::string_literals;
  const SOCmnVariant before = SOCmnVariant::fromI2(7);
  SOCmnVariant out = before;
  EXPECT_FALSE(unpackArray(DataType::Int16Array, "\x01\x02\x03"s, 100, out));  // half an element
  EXPECT_FALSE(unpackArray(DataType::FloatArray, "\x01\x02"s, 100, out));
  EXPECT_FALSE(unpackArray(DataType::BooleanArray, "\x01\x00"s, 100, out));  // no room for the count
  // A count that claims more (or fewer) bits than the bytes hold.
  EXPECT_FALSE(unpackArray(DataType::BooleanArray, "\xFF\xFF\xFF\xFF\x01"s, 100, out));
  EXPECT_FALSE(unpackArray(DataType::BooleanArray, "\x01\x00\x00\x00\x80\x00"s, 100, out));
  EXPECT_FALSE(unpackArray(DataType::UInt8Array, std::string(101, 'x'), 100, out));  // past the limit
  EXPECT_FALSE(unpackArray(DataType::Int64Array, std::string(8, 'x'), 100, out));    // no tag holds these
  EXPECT_FALSE(unpackArray(DataType::String, "abc"s, 100, out));
  EXPECT_EQ(out, before);
  std::string sink;
  EXPECT_FALSE(packArray(SOCmnVariant::fromI2(1), sink));
  EXPECT_TRUE(sink.empty());
}
