// Tag states and PLC figures as device metrics, and the store that keeps changes while no
// host can take them.
#include <gtest/gtest.h>

#include "server/mqtt/sparkplug/DeviceMetrics.h"
#include "server/mqtt/sparkplug/HistoryStore.h"

using namespace zentarc::mqtt::sparkplug;
using namespace std::chrono_literals;

namespace {

const WallTime kNow = WallTime{} + 1765102531000ms;
const WallTime kRead = WallTime{} + 1765102530123ms;

SODaSCacheSnapshot snapshot(SOCmnVariant value, std::uint16_t quality, bool waiting = false) {
  SODaSCacheSnapshot s;
  s.value = std::move(value);
  s.quality = quality;
  s.timeStamp = kRead;
  s.waitingForInitialData = waiting;
  return s;
}

Metric change(std::uint64_t alias, std::int64_t value) {
  Metric m;
  m.alias = alias;
  m.datatype = DataType::Int16;
  m.value = value;
  return m;
}

}  // namespace

TEST(SparkplugDeviceMetrics, onlyAGoodValueFromTheDeviceIsSentAsAValue) {
  const Metric good = tagMetric(snapshot(SOCmnVariant::fromI2(5), OPC_QUALITY_GOOD), VT_I2, true, kNow);
  EXPECT_EQ(good.datatype, DataType::Int16);
  EXPECT_EQ(good.timestamp, 1765102530123u);  // when it was read, not when it is sent
  EXPECT_FALSE(good.isNull);
  EXPECT_FALSE(good.quality.has_value());
  EXPECT_EQ(std::get<SOCmnVariant>(good.value), SOCmnVariant::fromI2(5));

  // The PLC failed: the cache still holds the last value, which must not go out.
  for (std::uint16_t q : {OPC_QUALITY_COMM_FAILURE, OPC_QUALITY_DEVICE_FAILURE, OPC_QUALITY_BAD}) {
    const Metric bad = tagMetric(snapshot(SOCmnVariant::fromI2(5), q), VT_I2, true, kNow);
    EXPECT_TRUE(bad.isNull) << q;
    EXPECT_EQ(bad.quality, kQualityBad) << q;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(bad.value)) << q;
    EXPECT_EQ(bad.datatype, DataType::Int16) << q;
  }
  EXPECT_TRUE(tagMetric(snapshot(SOCmnVariant::fromI2(0), OPC_QUALITY_GOOD, true), VT_I2, true, kNow).isNull);
  const Metric unreadable = tagMetric(snapshot(SOCmnVariant::fromI2(0), OPC_QUALITY_GOOD), VT_I2, false, kNow);
  EXPECT_TRUE(unreadable.isNull);
  EXPECT_EQ(unreadable.timestamp, 1765102531000u);

  const Metric stale = tagMetric(snapshot(SOCmnVariant::fromR4(1.5f), OPC_QUALITY_UNCERTAIN | OPC_QUALITY_LAST_KNOWN),
                                 VT_R4, true, kNow);
  EXPECT_FALSE(stale.isNull);
  EXPECT_EQ(stale.quality, kQualityStale);
}

TEST(SparkplugDeviceMetrics, diagnosticsAreNamedTypedAndComplete) {
  zentarc::PlcDiagnostics d;
  d.state = "failing";
  d.connected = false;
  d.lastResultCode = 7;
  d.reconnects = 1ull << 40;
  d.scanPeriodMs = 250;
  d.cpuState = "stop, faulted";
  d.plcStatusWord = 0x3000;
  std::vector<Metric> m = diagnosticsMetrics(d, "Connection refused", kNow);
  ASSERT_EQ(m.size(), kDiagnosticsMetrics);
  EXPECT_EQ(m[0].name, "Diagnostics/State");
  EXPECT_EQ(std::get<std::string>(m[0].value), "failing");
  EXPECT_EQ(std::get<bool>(m[1].value), false);
  EXPECT_EQ(std::get<std::string>(m[3].value), "Connection refused");
  EXPECT_TRUE(m[4].isNull);  // never changed
  EXPECT_EQ(std::get<std::uint64_t>(m[7].value), 0xFFFFFFFFu);  // clamped to the UInt32 it is born as
  EXPECT_EQ(std::get<double>(m[8].value), 250.0);
  EXPECT_EQ(m[11].name, "Diagnostics/CpuState");
  EXPECT_EQ(std::get<std::string>(m[11].value), "stop, faulted");
  EXPECT_EQ(std::get<std::uint64_t>(m[14].value), 0x3000u);
  for (const Metric& x : m) {
    EXPECT_EQ(x.timestamp, 1765102531000u) << x.name;
    // Every figure must survive encoding as its datatype.
    Payload p;
    p.metrics = {x};
    Payload back;
    std::string error;
    ASSERT_TRUE(decodePayload(encodePayload(p), back, error));
    EXPECT_EQ(back.metrics[0].isNull, x.isNull) << x.name;
  }
  d.lastResultCode = 0;
  EXPECT_EQ(std::get<std::string>(diagnosticsMetrics(d, "stale text", kNow)[3].value), "");
}

TEST(SparkplugHistoryStore, keepsOrderPerDeviceAndDropsTheOldestOfAllWhenFull) {
  const std::size_t one = HistoryStore::costOf(change(1, 0));
  HistoryStore store(2, one * 3);
  store.add(0, change(1, 10));
  store.add(1, change(2, 20));
  store.add(0, change(1, 11));
  EXPECT_EQ(store.count(), 3u);
  store.add(1, change(2, 21));  // the oldest of all (device 0's first) goes
  EXPECT_EQ(store.dropped(), 1u);
  EXPECT_EQ(store.bytes(), one * 3);

  std::vector<Metric> d0 = store.take(0, 10);
  ASSERT_EQ(d0.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(d0[0].value), 11);
  EXPECT_TRUE(d0[0].isHistorical);
  std::vector<Metric> d1 = store.take(1, 1);
  ASSERT_EQ(d1.size(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(d1[0].value), 20);
  EXPECT_FALSE(store.empty(1));
  EXPECT_EQ(std::get<std::int64_t>(store.take(1, 5)[0].value), 21);
  EXPECT_EQ(store.count(), 0u);
  EXPECT_EQ(store.bytes(), 0u);
}

TEST(SparkplugHistoryStore, aChangeLargerThanTheBudgetStaysAlone) {
  HistoryStore store(1, 10);
  store.add(0, change(1, 1));
  store.add(0, change(1, 2));
  EXPECT_EQ(store.count(), 1u);
  EXPECT_EQ(store.dropped(), 1u);
  EXPECT_EQ(std::get<std::int64_t>(store.take(0, 1)[0].value), 2);
}
