// Registers <-> values for all fifteen types, spans, qualities for result codes, text form.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "server/opc/PlcTag.h"
#include "server/opc/ServerQueues.h"
#include "server/opc/ValueConversion.h"
#include "server/opc/TagDevice.h"

using namespace zentarc;

namespace {

using Regs = std::vector<std::uint16_t>;

SOCmnVariant read(VARTYPE vt, std::uint16_t bit, std::uint16_t count, const Regs& regs) {
  SOCmnVariant v = SOCmnVariant::zeroOf(vt, count);
  EXPECT_TRUE(registersToValue(vt, bit, count, regs, v)) << vt;
  return v;
}

Regs write(VARTYPE vt, std::uint16_t bit, std::uint16_t count, const SOCmnVariant& v, Regs start) {
  EXPECT_TRUE(valueToRegisters(vt, bit, count, v, start)) << vt;
  return start;
}

template <class E>
std::vector<E> elements(const SOCmnVariant& v) {
  auto s = v.arrayData<E>();
  return {s.begin(), s.end()};
}

template <class E>
SOCmnVariant array(VARTYPE t, std::vector<E> e) {
  return SOCmnVariant::fromArray<E>(t, std::span<const E>(e));
}

}  // namespace

TEST(ValueConversion, scalars16And32BitBothWays) {
  EXPECT_EQ(read(VT_I2, 0, 0, {0xFFFE}).iVal(), -2);
  EXPECT_EQ(write(VT_I2, 0, 0, SOCmnVariant::fromI2(-2), {0}), Regs{0xFFFE});
  EXPECT_EQ(read(VT_UI2, 0, 0, {0xFFFE}).uiVal(), 65534);
  EXPECT_EQ(write(VT_UI2, 0, 0, SOCmnVariant::fromUI2(65534), {0}), Regs{0xFFFE});

  // The first register is the high half.
  EXPECT_EQ(read(VT_I4, 0, 0, {0x0001, 0x0002}).lVal(), 65538);
  EXPECT_EQ(write(VT_I4, 0, 0, SOCmnVariant::fromI4(65538), {0, 0}), (Regs{0x0001, 0x0002}));
  EXPECT_EQ(read(VT_I4, 0, 0, {0xFFFF, 0xFFFE}).lVal(), -2);
  EXPECT_EQ(read(VT_UI4, 0, 0, {0x8000, 0x0001}).ulVal(), 0x80000001u);
  EXPECT_EQ(write(VT_UI4, 0, 0, SOCmnVariant::fromUI4(0x80000001u), {0, 0}), (Regs{0x8000, 0x0001}));
  EXPECT_EQ(read(VT_R4, 0, 0, {0x3F80, 0x0000}).fltVal(), 1.0f);
  EXPECT_EQ(write(VT_R4, 0, 0, SOCmnVariant::fromR4(-2.5f), {0, 0}), (Regs{0xC020, 0x0000}));
}

TEST(ValueConversion, singleBooleanTouchesOnlyItsBit) {
  EXPECT_EQ(read(VT_BOOL, 3, 0, {0x0008}).boolVal(), VARIANT_TRUE);
  EXPECT_EQ(read(VT_BOOL, 2, 0, {0x0008}).boolVal(), VARIANT_FALSE);
  EXPECT_EQ(write(VT_BOOL, 3, 0, SOCmnVariant::fromBool(false), {0x000F}), Regs{0x0007});
  EXPECT_EQ(write(VT_BOOL, 15, 0, SOCmnVariant::fromBool(true), {0x0001}), Regs{0x8001});
  // A bit number beyond the register is refused rather than read from elsewhere.
  SOCmnVariant v;
  Regs r{0xFFFF};
  EXPECT_FALSE(registersToValue(VT_BOOL, 16, 0, r, v));
  EXPECT_FALSE(valueToRegisters(VT_BOOL, 16, 0, SOCmnVariant::fromBool(true), r));
}

TEST(ValueConversion, stringsAreBytesLowFirstAndKeepNul) {
  const SOCmnVariant s = read(VT_BSTR, 0, 5, {0x4241, 0x4443, 0x0045});
  EXPECT_EQ(s.bstrVal(), u"ABCDE");
  EXPECT_EQ(read(VT_BSTR, 0, 3, {0x0041, 0x0042}).bstrVal(), std::u16string(u"A\0B", 3));
  // A short write pads with NUL; the high byte of the odd last register keeps its value.
  EXPECT_EQ(write(VT_BSTR, 0, 5, SOCmnVariant::fromBstr(u"AB"), {0x1111, 0x2222, 0xAB77}),
            (Regs{0x4241, 0x0000, 0xAB00}));
  // Characters beyond n are not written.
  EXPECT_EQ(write(VT_BSTR, 0, 2, SOCmnVariant::fromBstr(u"XYZ"), {0, 0x5555}), (Regs{0x5958, 0x5555}));
  EXPECT_EQ(registerSpan(VT_BSTR, 0, 5), 3);
  EXPECT_EQ(registerSpan(VT_BSTR, 0, 0), 0);
}

TEST(ValueConversion, sixteenAndThirtyTwoBitArrays) {
  EXPECT_EQ(elements<std::int16_t>(read(VT_ARRAY | VT_I2, 0, 2, {0xFFFF, 0x0002})),
            (std::vector<std::int16_t>{-1, 2}));
  EXPECT_EQ(write(VT_ARRAY | VT_I2, 0, 2, array<std::int16_t>(VT_I2, {-1, 2}), {0, 0}), (Regs{0xFFFF, 2}));
  EXPECT_EQ(elements<std::uint16_t>(read(VT_ARRAY | VT_UI2, 0, 2, {0xFFFF, 7})),
            (std::vector<std::uint16_t>{65535, 7}));
  EXPECT_EQ(write(VT_ARRAY | VT_UI2, 0, 2, array<std::uint16_t>(VT_UI2, {65535, 7}), {0, 0}), (Regs{0xFFFF, 7}));
  EXPECT_EQ(elements<std::int32_t>(read(VT_ARRAY | VT_I4, 0, 2, {0, 1, 0xFFFF, 0xFFFF})),
            (std::vector<std::int32_t>{1, -1}));
  EXPECT_EQ(write(VT_ARRAY | VT_I4, 0, 2, array<std::int32_t>(VT_I4, {65538, -1}), {0, 0, 0, 0}),
            (Regs{1, 2, 0xFFFF, 0xFFFF}));
  EXPECT_EQ(elements<std::uint32_t>(read(VT_ARRAY | VT_UI4, 0, 1, {0x8000, 0x0001})),
            (std::vector<std::uint32_t>{0x80000001u}));
  EXPECT_EQ(write(VT_ARRAY | VT_UI4, 0, 1, array<std::uint32_t>(VT_UI4, {0x80000001u}), {0, 0}),
            (Regs{0x8000, 0x0001}));
  EXPECT_EQ(elements<float>(read(VT_ARRAY | VT_R4, 0, 2, {0x3F80, 0, 0x4000, 0})), (std::vector<float>{1.0f, 2.0f}));
  EXPECT_EQ(write(VT_ARRAY | VT_R4, 0, 1, array<float>(VT_R4, {1.0f}), {9, 9}), (Regs{0x3F80, 0}));
  EXPECT_EQ(registerSpan(VT_ARRAY | VT_I2, 0, 3), 3);
  EXPECT_EQ(registerSpan(VT_ARRAY | VT_R4, 0, 3), 6);
}

TEST(ValueConversion, byteArraysKeepTheHighByteOfAnOddEnd) {
  EXPECT_EQ(elements<std::int8_t>(read(VT_ARRAY | VT_I1, 0, 3, {0xFF01, 0x0080})),
            (std::vector<std::int8_t>{1, -1, -128}));
  EXPECT_EQ(write(VT_ARRAY | VT_I1, 0, 3, array<std::int8_t>(VT_I1, {1, -1, -128}), {0, 0xAB00}),
            (Regs{0xFF01, 0xAB80}));
  EXPECT_EQ(elements<std::uint8_t>(read(VT_ARRAY | VT_UI1, 0, 2, {0x0201})), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(write(VT_ARRAY | VT_UI1, 0, 1, array<std::uint8_t>(VT_UI1, {0x12}), {0x5500}), Regs{0x5512});
  EXPECT_EQ(registerSpan(VT_ARRAY | VT_UI1, 0, 3), 2);
}

TEST(ValueConversion, booleanArrayFromBit14RunsIntoTheNextRegister) {
  EXPECT_EQ(registerSpan(VT_ARRAY | VT_BOOL, 14, 4), 2);
  const SOCmnVariant v = read(VT_ARRAY | VT_BOOL, 14, 4, {0x8000, 0x0002});
  EXPECT_EQ(elements<std::int16_t>(v), (std::vector<std::int16_t>{0, -1, 0, -1}));
  // Bits outside the four elements keep their values.
  EXPECT_EQ(write(VT_ARRAY | VT_BOOL, 14, 4, array<std::int16_t>(VT_BOOL, {-1, 0, -1, 0}), {0x0FFF, 0xFFF0}),
            (Regs{0x4FFF, 0xFFF1}));
}

TEST(ValueConversion, refusesWhatCannotBeConverted) {
  Regs r{0, 0, 0};
  EXPECT_FALSE(valueToRegisters(VT_I2, 0, 0, SOCmnVariant::fromUI2(1), r));  // other type
  EXPECT_FALSE(valueToRegisters(VT_ARRAY | VT_I2, 0, 3, array<std::int16_t>(VT_I2, {1, 2}), r));  // too few
  EXPECT_FALSE(valueToRegisters(VT_ARRAY | VT_I2, 0, 4, array<std::int16_t>(VT_I2, {1, 2, 3, 4}), r));  // short buffer
  EXPECT_EQ(r, (Regs{0, 0, 0}));
  EXPECT_TRUE(valueToRegisters(VT_ARRAY | VT_I2, 0, 1, array<std::int16_t>(VT_I2, {5, 6}), r));  // extra ignored
  EXPECT_EQ(r, (Regs{5, 0, 0}));
  SOCmnVariant v = SOCmnVariant::fromI2(3);
  EXPECT_FALSE(registersToValue(VT_I4, 0, 0, Regs{1}, v));  // short buffer
  EXPECT_FALSE(registersToValue(0, 0, 0, Regs{1}, v));      // no type
  EXPECT_EQ(v.iVal(), 3);
  EXPECT_EQ(registerSpan(0, 0, 5), 0);
  EXPECT_EQ(registerSpan(VT_ARRAY | VT_BSTR, 0, 5), 0);
  // The full figure of a big array, which the 16-bit span could not hold.
  EXPECT_EQ(registerSpanWide(VT_ARRAY | VT_I4, 0, 40000), 80000u);
}

TEST(ValueConversion, qualityForEachResultCode) {
  for (int code : {1, 2, 3, 4, 16, 17, 18, 32, 33, 50, 51, 52}) EXPECT_EQ(qualityForError(code), 0x18) << code;
  EXPECT_EQ(qualityForError(64), 0x0C);
  EXPECT_EQ(qualityForError(65), 0x0C);
  EXPECT_EQ(qualityForError(66), 0x1C);
  for (int code : {0, 5, 15, 19, 31, 34, 49, 53, 63, 67, -1}) EXPECT_EQ(qualityForError(code), 0x00) << code;
}

TEST(ValueConversion, formatValueByType) {
  EXPECT_EQ(formatValue(VT_I2, 0, SOCmnVariant::fromI2(-5)), "-5");
  EXPECT_EQ(formatValue(VT_UI2, 0, SOCmnVariant::fromUI2(65535)), "65535");
  EXPECT_EQ(formatValue(VT_I4, 0, SOCmnVariant::fromI4(-70000)), "-70000");
  EXPECT_EQ(formatValue(VT_UI4, 0, SOCmnVariant::fromUI4(4000000000u)), "4000000000");
  EXPECT_EQ(formatValue(VT_R4, 0, SOCmnVariant::fromR4(1.0f)), "1.000000");
  EXPECT_EQ(formatValue(VT_BOOL, 0, SOCmnVariant::fromBool(true)), "TRUE");
  EXPECT_EQ(formatValue(VT_BOOL, 0, SOCmnVariant::fromBool(false)), "FALSE");
  EXPECT_EQ(formatValue(VT_BSTR, 4, SOCmnVariant::fromBstr(std::u16string(u"AB\0C", 4))), "AB");
  EXPECT_EQ(formatValue(VT_BSTR, 2, SOCmnVariant::fromBstr(u"\u00E9x")), "\xC3\xA9x");  // é as UTF-8
  EXPECT_EQ(formatValue(VT_ARRAY | VT_BOOL, 4, SOCmnVariant::zeroOf(VT_ARRAY | VT_BOOL, 4)), "[..]");
  EXPECT_EQ(formatValue(VT_ARRAY | VT_R4, 1, SOCmnVariant::zeroOf(VT_ARRAY | VT_R4, 1)), "[..]");
  EXPECT_EQ(formatValue(0, 0, SOCmnVariant()), "[..]");
}

TEST(ValueConversion, storeAndFillWorkOnTagsAndRequests) {
  auto queues = std::make_shared<ServerQueues>();
  SOCmnPointer<TagDevice> plc(new TagDevice("P", 0));
  SOCmnPointer<PlcTag> tag(new PlcTag("S", 3, VT_BSTR, "", 9, 0, 5, plc.get(), queues));
  SOCmnPointer<SODaSCache> cache = tag->getCache();
  cache->setQuality(0x18);
  Regs r{0x4241, 0x4443, 0x0045};
  ASSERT_TRUE(storeRegisters(*tag, r));
  EXPECT_EQ(cache->getValue().bstrVal(), u"ABCDE");
  EXPECT_EQ(cache->getQuality(), 0xC0);
  EXPECT_FALSE(cache->isWaitingForInitialData());
  const SOCmnVariant reader = cache->getValue();
  Regs next{0x5A59, 0x5A5A, 0x005A};
  const auto readTime = std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000));
  ASSERT_TRUE(storeRegisters(*tag, next, readTime));
  EXPECT_EQ(cache->getValue().bstrVal(), u"YZZZZ");
  EXPECT_EQ(cache->getTimeStamp(), readTime);
  EXPECT_EQ(reader.bstrVal(), u"ABCDE");  // a copy handed out before keeps its value
  Regs shortBuffer{0x5858};
  EXPECT_FALSE(storeRegisters(*tag, shortBuffer));
  EXPECT_EQ(cache->getValue().bstrVal(), u"YZZZZ");
  EXPECT_EQ(registerSpan(*tag), 3);

  RequestRecord record;
  record.tag = tag;
  record.request = SOCmnPointer<SODaSRequest>(new SODaSRequest(SODASREQUEST_OPERATION_WRITE,
                                                               SODASREQUEST_TYPE_ASYNC_WRITE, tag,
                                                               SOCmnVariant::fromBstr(u"AB")));
  Regs out{1, 2, 0xAB77};
  ASSERT_TRUE(fillWriteRegisters(record, out));
  EXPECT_EQ(out, (Regs{0x4241, 0, 0xAB00}));
  record.request = SOCmnPointer<SODaSRequest>(new SODaSRequest(
      SODASREQUEST_OPERATION_WRITE, SODASREQUEST_TYPE_ASYNC_WRITE, tag, SOCmnVariant::fromI2(1)));
  EXPECT_FALSE(fillWriteRegisters(record, out));
  EXPECT_EQ(formatValue(*tag, cache->getValue()), "YZZZZ");
}
