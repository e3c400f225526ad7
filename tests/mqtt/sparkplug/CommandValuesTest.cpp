// A host's command value as a tag's value: the same acceptance and refusals as an OPC UA Write.
#include <gtest/gtest.h>

#include <limits>

#include "server/mqtt/sparkplug/CommandValues.h"

using namespace zentarc::mqtt::sparkplug;

namespace {

Metric command(DataType type, MetricValue value) {
  Metric m;
  m.alias = 1;
  m.datatype = type;
  m.value = std::move(value);
  return m;
}

std::string status(const Metric& m, VARTYPE type, std::uint32_t count = 0) {
  SOCmnVariant out;
  return std::string(toTagValue(m, type, count, out));
}

}  // namespace

TEST(SparkplugCommandValues, integersAreTakenByValueWithinTheTagsRange) {
  SOCmnVariant out;
  EXPECT_EQ(toTagValue(command(DataType::Int16, std::int64_t{-32768}), VT_I2, 0, out), "");
  EXPECT_EQ(out, SOCmnVariant::fromI2(-32768));
  // A host whose own tag is an Int32 may write an Int16 tag.
  EXPECT_EQ(toTagValue(command(DataType::Int32, std::int64_t{1000}), VT_I2, 0, out), "");
  EXPECT_EQ(out, SOCmnVariant::fromI2(1000));
  EXPECT_EQ(toTagValue(command(DataType::UInt32, std::uint64_t{4294967295u}), VT_UI4, 0, out), "");
  EXPECT_EQ(out, SOCmnVariant::fromUI4(4294967295u));

  EXPECT_EQ(status(command(DataType::Int32, std::int64_t{32768}), VT_I2), "BadOutOfRange");
  EXPECT_EQ(status(command(DataType::Int16, std::int64_t{-1}), VT_UI2), "BadOutOfRange");
  EXPECT_EQ(status(command(DataType::UInt64, std::uint64_t{1} << 32), VT_UI4), "BadOutOfRange");
  EXPECT_EQ(status(command(DataType::Int64, std::numeric_limits<std::int64_t>::min()), VT_I4), "BadOutOfRange");
  EXPECT_EQ(status(command(DataType::Float, 1.0f), VT_I2), "BadTypeMismatch");
  EXPECT_EQ(status(command(DataType::Boolean, true), VT_I4), "BadTypeMismatch");
}

TEST(SparkplugCommandValues, floatsBooleansAndText) {
  SOCmnVariant out;
  EXPECT_EQ(toTagValue(command(DataType::Double, 2.5), VT_R4, 0, out), "");
  EXPECT_EQ(out, SOCmnVariant::fromR4(2.5f));
  EXPECT_EQ(toTagValue(command(DataType::Float, std::numeric_limits<float>::infinity()), VT_R4, 0, out), "");
  EXPECT_EQ(status(command(DataType::Double, 1e300), VT_R4), "BadOutOfRange");
  EXPECT_EQ(status(command(DataType::Int32, std::int64_t{1}), VT_R4), "BadTypeMismatch");

  EXPECT_EQ(toTagValue(command(DataType::Boolean, false), VT_BOOL, 0, out), "");
  EXPECT_EQ(out, SOCmnVariant::fromBool(false));
  EXPECT_EQ(status(command(DataType::UInt8, std::uint64_t{1}), VT_BOOL), "BadTypeMismatch");

  EXPECT_EQ(toTagValue(command(DataType::String, std::string("Caf\xC3\xA9")), VT_BSTR, 0, out), "");
  EXPECT_EQ(out, SOCmnVariant::fromBstr(u"Caf\u00e9"));
  EXPECT_EQ(status(command(DataType::String, std::string("\xE2\x82\xAC")), VT_BSTR), "BadOutOfRange");  // the euro sign
  EXPECT_EQ(status(command(DataType::Int16, std::int64_t{1}), VT_BSTR), "BadTypeMismatch");
}

TEST(SparkplugCommandValues, arraysMustMatchElementTypeAndLength) {
  const std::int16_t three[] = {1, 2, 3};
  const SOCmnVariant a = SOCmnVariant::fromArray<std::int16_t>(VT_I2, three);
  SOCmnVariant out;
  EXPECT_EQ(toTagValue(command(DataType::Int16Array, a), VT_ARRAY | VT_I2, 3, out), "");
  EXPECT_EQ(out, a);
  EXPECT_EQ(status(command(DataType::Int16Array, a), VT_ARRAY | VT_I2, 4), "BadTypeMismatch");
  EXPECT_EQ(status(command(DataType::Int16Array, a), VT_ARRAY | VT_UI2, 3), "BadTypeMismatch");
  EXPECT_EQ(status(command(DataType::Int16, std::int64_t{1}), VT_ARRAY | VT_I2, 1), "BadTypeMismatch");
}

TEST(SparkplugCommandValues, nullOrUnreadableValuesAreRefused) {
  Metric null = command(DataType::Int16, std::int64_t{1});
  null.isNull = true;
  EXPECT_EQ(status(null, VT_I2), "BadTypeMismatch");
  EXPECT_EQ(status(command(DataType::Int16Array, std::monostate{}), VT_ARRAY | VT_I2, 2), "BadTypeMismatch");
}
