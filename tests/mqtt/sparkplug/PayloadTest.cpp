// Sparkplug B payloads through our encoder and back through our decoder: every tag type,
// null with its Quality, aliases, history, seq; and what a peer may send that must be refused.
#include <gtest/gtest.h>

#include <limits>

#include "server/mqtt/sparkplug/Payload.h"

using namespace zentarc::mqtt::sparkplug;

namespace {

Payload roundTrip(const Payload& p) {
  Payload back;
  std::string error;
  EXPECT_TRUE(decodePayload(encodePayload(p), back, error)) << error;
  return back;
}

Metric tagMetric(std::string name, std::uint64_t alias, const SOCmnVariant& v) {
  Metric m;
  m.name = std::move(name);
  m.alias = alias;
  m.datatype = dataTypeOf(v.vt());
  m.timestamp = 1765102530123;
  m.value = v;
  return m;
}

Metric plain(std::string name, DataType type, MetricValue value = {}) {
  Metric m;
  m.name = std::move(name);
  m.datatype = type;
  m.value = std::move(value);
  return m;
}

DecodeLimits limitsWith(std::size_t metrics, std::size_t bytes, std::uint32_t elements) {
  DecodeLimits l;
  l.maxMetrics = metrics;
  l.maxBytes = bytes;
  l.maxArrayElements = elements;
  return l;
}

Payload withMetrics(std::vector<Metric> metrics) {
  Payload p;
  p.metrics = std::move(metrics);
  return p;
}

}  // namespace

TEST(SparkplugPayload, tagScalarsKeepTheirDatatypeAndValue) {
  Payload p;
  p.timestamp = 1765102530999;
  p.seq = 7;
  p.metrics = {tagMetric("I2", 1, SOCmnVariant::fromI2(-5)),
               tagMetric("UI2", 2, SOCmnVariant::fromUI2(65535)),
               tagMetric("I4", 3, SOCmnVariant::fromI4(std::numeric_limits<std::int32_t>::min())),
               tagMetric("UI4", 4, SOCmnVariant::fromUI4(4000000000u)),
               tagMetric("R4", 5, SOCmnVariant::fromR4(-1.25f)),
               tagMetric("BOOL", 6, SOCmnVariant::fromBool(true)),
               tagMetric("STR", 7, SOCmnVariant::fromBstr(std::u16string(u"Caf\u00e9\0\0", 6)))};
  const Payload back = roundTrip(p);
  EXPECT_EQ(back.timestamp, 1765102530999u);
  EXPECT_EQ(back.seq, 7u);
  ASSERT_EQ(back.metrics.size(), 7u);
  const DataType types[] = {DataType::Int16, DataType::UInt16, DataType::Int32, DataType::UInt32,
                            DataType::Float, DataType::Boolean, DataType::String};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(back.metrics[i].name, p.metrics[i].name);
    EXPECT_EQ(back.metrics[i].alias, i + 1);
    EXPECT_EQ(back.metrics[i].datatype, types[i]);
    EXPECT_EQ(back.metrics[i].timestamp, 1765102530123u);
    EXPECT_FALSE(back.metrics[i].isNull);
  }
  EXPECT_EQ(std::get<std::int64_t>(back.metrics[0].value), -5);
  EXPECT_EQ(std::get<std::uint64_t>(back.metrics[1].value), 65535u);
  EXPECT_EQ(std::get<std::int64_t>(back.metrics[2].value), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(std::get<std::uint64_t>(back.metrics[3].value), 4000000000u);
  EXPECT_EQ(std::get<float>(back.metrics[4].value), -1.25f);
  EXPECT_TRUE(std::get<bool>(back.metrics[5].value));
  // The PLC's Latin-1 text in UTF-8, without the padding after it.
  EXPECT_EQ(std::get<std::string>(back.metrics[6].value), "Caf\xC3\xA9");
}

TEST(SparkplugPayload, arraysTravelAsPackedBytes) {
  const std::int16_t words[] = {-1, 2, 300};
  const float reals[] = {0.5f, std::numeric_limits<float>::quiet_NaN()};
  const VARIANT_BOOL bits[] = {VARIANT_TRUE, VARIANT_FALSE, VARIANT_TRUE};
  Payload p;
  p.metrics = {tagMetric("A_I2", 1, SOCmnVariant::fromArray<std::int16_t>(VT_I2, words)),
               tagMetric("A_R4", 2, SOCmnVariant::fromArray<float>(VT_R4, reals)),
               tagMetric("A_BOOL", 3, SOCmnVariant::fromArray<VARIANT_BOOL>(VT_BOOL, bits))};
  const Payload back = roundTrip(p);
  ASSERT_EQ(back.metrics.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back.metrics[i].datatype, p.metrics[i].datatype);
    EXPECT_EQ(std::get<SOCmnVariant>(back.metrics[i].value), std::get<SOCmnVariant>(p.metrics[i].value)) << i;
  }
}

TEST(SparkplugPayload, nullCarriesQualityAndNoValue) {
  Metric bad = tagMetric("", 9, SOCmnVariant::fromI2(123));
  bad.name.clear();
  bad.isNull = true;
  bad.quality = kQualityBad;
  Metric history = tagMetric("", 10, SOCmnVariant::fromUI2(4));
  history.name.clear();
  history.isHistorical = true;
  Payload p;
  p.seq = 255;
  p.metrics = {bad, history};
  const Payload back = roundTrip(p);
  ASSERT_EQ(back.metrics.size(), 2u);
  EXPECT_TRUE(back.metrics[0].name.empty());
  EXPECT_EQ(back.metrics[0].alias, 9u);
  EXPECT_TRUE(back.metrics[0].isNull);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(back.metrics[0].value));
  EXPECT_EQ(back.metrics[0].quality, kQualityBad);
  EXPECT_FALSE(back.metrics[0].isHistorical);
  EXPECT_TRUE(back.metrics[1].isHistorical);
  EXPECT_FALSE(back.metrics[1].quality.has_value());
  EXPECT_EQ(std::get<std::uint64_t>(back.metrics[1].value), 4u);
}

TEST(SparkplugPayload, nodeFiguresUsePlainKinds) {
  Payload p;
  p.metrics = {plain("bdSeq", DataType::UInt64, std::uint64_t{255}),
               plain("Node Control/Rebirth", DataType::Boolean, false),
               plain("Diagnostics/State", DataType::String, std::string("working")),
               plain("Diagnostics/LastChange", DataType::DateTime, std::uint64_t{1765102530123}),
               plain("Diagnostics/ScanPeriod", DataType::Int64, std::int64_t{-3})};
  const Payload back = roundTrip(p);
  ASSERT_EQ(back.metrics.size(), 5u);
  EXPECT_EQ(std::get<std::uint64_t>(back.metrics[0].value), 255u);
  EXPECT_FALSE(std::get<bool>(back.metrics[1].value));
  EXPECT_EQ(std::get<std::string>(back.metrics[2].value), "working");
  EXPECT_EQ(std::get<std::uint64_t>(back.metrics[3].value), 1765102530123u);
  EXPECT_EQ(std::get<std::int64_t>(back.metrics[4].value), -3);
  EXPECT_FALSE(back.seq.has_value());  // NDEATH and commands carry none
}

TEST(SparkplugPayload, aValueThatDoesNotFitItsDatatypeGoesOutAsNull) {
  Payload p;
  p.metrics = {plain("x", DataType::Int16, std::string("12")), plain("y", DataType::Float, SOCmnVariant::fromI2(1)),
               plain("z", DataType::Boolean)};
  const Payload back = roundTrip(p);
  ASSERT_EQ(back.metrics.size(), 3u);
  for (const Metric& m : back.metrics) {
    EXPECT_TRUE(m.isNull) << m.name;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(m.value)) << m.name;
  }
}

TEST(SparkplugPayload, whatAPeerSendsIsBoundedAndCheckedBeforeUse) {
  Payload back;
  std::string error;
  EXPECT_FALSE(decodePayload("\xFF\xFF\xFF", back, error));
  EXPECT_EQ(error, "not a Sparkplug B payload");
  // Truncated: a metric whose length runs past the end.
  const std::string bytes = encodePayload(withMetrics({plain("abc", DataType::Boolean, true)}));
  EXPECT_FALSE(decodePayload(std::string_view(bytes).substr(0, bytes.size() - 1), back, error));

  const std::string manyBytes = encodePayload(withMetrics(std::vector<Metric>(50, plain("", DataType::Boolean, true))));
  EXPECT_FALSE(decodePayload(manyBytes, back, error, limitsWith(49, 1u << 20, 65536)));
  EXPECT_EQ(error, "50 metrics exceed the limit of 49");
  EXPECT_TRUE(decodePayload(manyBytes, back, error, limitsWith(50, 1u << 20, 65536)));
  EXPECT_FALSE(decodePayload(manyBytes, back, error, limitsWith(50, manyBytes.size() - 1, 65536)));

  // An array past the element limit is kept as a metric without a value.
  const SOCmnVariant big = SOCmnVariant::makeArray(VT_UI1, 20);
  const std::string arrayBytes = encodePayload(withMetrics({tagMetric("big", 1, big)}));
  ASSERT_TRUE(decodePayload(arrayBytes, back, error, limitsWith(10, 1u << 20, 19)));
  ASSERT_EQ(back.metrics.size(), 1u);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(back.metrics[0].value));
  EXPECT_FALSE(back.metrics[0].isNull);

  // A template of three empty metrics, by hand: two bytes a nested metric would be built from.
  const std::string templated("\x12\x0C" "\x0A\x01t" "\x92\x01\x06" "\x12\x00\x12\x00\x12\x00", 14);
  EXPECT_FALSE(decodePayload(templated, back, error));
  EXPECT_EQ(error, "a metric holds a data set, a template or an extension, which are not taken");
}
