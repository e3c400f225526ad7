// The PLC workers against simulated PLCs: values reaching the caches, device reads and
// writes, and the messages that blocks turn into.
#include <gtest/gtest.h>

#include "server/opc/ValueConversion.h"
#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;
using plcsim::MessageKind;

namespace {

std::vector<plcsim::Request> requests(const plcsim::Simulator& sim, MessageKind kind) {
  std::vector<plcsim::Request> out;
  for (const auto& m : sim.log())
    if (m.request.kind == kind) out.push_back(m.request);
  return out;
}

bool sawRead(const plcsim::Simulator& sim, std::uint16_t index, std::uint16_t count) {
  for (const auto& r : requests(sim, MessageKind::Read))
    if (r.index == index && r.count == count) return true;
  return false;
}

}  // namespace

TEST(PollingData, activeItemsOfTwoPlcsGetTheirValuesWithGoodQuality) {
  PollingHarness h;
  auto& sim1 = h.simulate("127.0.4.1");
  auto& sim2 = h.simulate("127.0.4.2");
  ASSERT_TRUE(h.load(plcXml("P1", "127.0.4.1",
                            tagXml("Level", "VT_I2", 1) + tagXml("Count", "VT_I4", 3) + tagXml("Temp", "VT_R4", 5) +
                                tagXml("Run", "VT_BOOL", 7, 0, 3)) +
                     plcXml("P2", "127.0.4.2", tagXml("Name", "VT_BSTR", 10, 5) +
                                                   tagXml("Series", "VT_I2 ARRAY", 20, 3))));
  sim1.setRegisters(0, {0xFFFE, 0, 0x0001, 0x0002, 0x3F80, 0x0000, 0x0008});
  sim2.setRegisters(9, {0x4241, 0x4443, 0x0045});
  sim2.setRegisters(19, {1, 2, 3});
  h.start();
  auto fast = h.group("fast", 100);
  auto slow = h.group("slow", 250);
  for (const char* name : {"Level", "Count", "Temp"}) h.activate(*fast, name);
  for (const char* name : {"Run", "Name", "Series"}) h.activate(*slow, name);
  for (const char* name : {"Level", "Count", "Temp", "Run", "Name", "Series"})
    ASSERT_TRUE(h.waitForQuality(name, 0xC0)) << name;
  EXPECT_EQ(h.tag("Level")->getCache()->getValue().iVal(), -2);
  EXPECT_EQ(h.tag("Count")->getCache()->getValue().lVal(), 65538);
  EXPECT_EQ(h.tag("Temp")->getCache()->getValue().fltVal(), 1.0f);
  EXPECT_EQ(h.tag("Run")->getCache()->getValue().boolVal(), VARIANT_TRUE);
  EXPECT_EQ(h.tag("Name")->getCache()->getValue().bstrVal(), u"ABCDE");
  EXPECT_EQ(h.tag("Series")->getCache()->getValue().arrayData<std::int16_t>()[2], 3);
  // Later changes in the PLC arrive too.
  sim1.setRegister(0, 77);
  EXPECT_TRUE(waitUntil([&] { return h.tag("Level")->getCache()->getValue().iVal() == 77; }));
  EXPECT_EQ(h.blockRate("Level"), 100u);
  EXPECT_EQ(h.blockRate("Name"), 250u);
  EXPECT_TRUE(h.sink.reports().empty());
}

TEST(PollingData, deviceReadsAndWritesReachThePlcAndComplete) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.3");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.3",
                            tagXml("Word", "VT_I2", 1) + tagXml("Flag", "VT_BOOL", 2, 0, 4) +
                                tagXml("Text", "VT_BSTR", 3, 3))));
  sim.setRegisters(0, {123, 0x00FF, 0, 0xCD00});
  h.start();
  auto read = h.tag("Word")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  ASSERT_TRUE(read->waitForCompletion(5000));
  EXPECT_EQ(h.tag("Word")->getCache()->getValue().iVal(), 123);

  auto w1 = h.tag("Word")->submitWrite(SOCmnVariant::fromI2(-5));
  auto w2 = h.tag("Flag")->submitWrite(SOCmnVariant::fromBool(false));
  auto w3 = h.tag("Text")->submitWrite(SOCmnVariant::fromBstr(u"ab"));
  for (auto* w : {w1.get(), w2.get(), w3.get()}) {
    ASSERT_TRUE(w->waitForCompletion(5000));
    EXPECT_EQ(w->getResult(), S_OK);
  }
  EXPECT_EQ(sim.registerValue(0), 0xFFFB);
  EXPECT_EQ(sim.registerValue(1), 0x00EF);  // only bit 4 changed
  EXPECT_EQ(sim.registerValue(2), 0x6261);
  EXPECT_EQ(sim.registerValue(3), 0xCD00);  // the high byte after an odd-length string stays
}

TEST(PollingData, twentyAdjacentWritesGoOutAsOneMessage) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.4");
  std::string tags;
  for (unsigned i = 0; i < 20; ++i) tags += tagXml("W" + std::to_string(i), "VT_UI2", 101 + i);
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.4", tags)));
  h.start();
  std::vector<SOCmnPointer<SODaSRequest>> writes;
  for (unsigned i = 0; i < 20; ++i)
    writes.push_back(h.tag("W" + std::to_string(i))->submitWrite(SOCmnVariant::fromUI2(1000 + i)));
  for (const auto& w : writes) ASSERT_TRUE(w->waitForCompletion(5000));
  const auto sent = requests(sim, MessageKind::Write);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].index, 100);
  EXPECT_EQ(sent[0].count, 20);
  EXPECT_EQ(sim.registerValue(119), 1019);
}

TEST(PollingData, blocksBridgeTenRegistersAndSplitAThousandInto512And488) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.5");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.5",
                            tagXml("A100", "VT_I2", 101) + tagXml("A111", "VT_I2", 112) +
                                tagXml("B200", "VT_I2", 201) + tagXml("B212", "VT_I2", 213) +
                                tagXml("Big", "VT_UI2 ARRAY", 2001, 1000))));
  h.start();
  auto g = h.group("g", 100);
  for (const char* name : {"A100", "A111", "B200", "B212", "Big"}) h.activate(*g, name);
  for (const char* name : {"A100", "A111", "B200", "B212", "Big"}) ASSERT_TRUE(h.waitForQuality(name, 0xC0));
  EXPECT_EQ(h.blockCount(0), 4u);
  EXPECT_TRUE(sawRead(sim, 100, 12));  // 100 and 111 in one read
  EXPECT_TRUE(sawRead(sim, 200, 1));   // 200 and 212 apart
  EXPECT_TRUE(sawRead(sim, 212, 1));
  EXPECT_TRUE(sawRead(sim, 2000, 512));
  EXPECT_TRUE(sawRead(sim, 2512, 488));
  for (const auto& r : requests(sim, MessageKind::Read)) EXPECT_LE(r.count, 512);
}

// The loader takes a tag whose registers end at R65536, the last register the simulator
// serves: reads and writes of it reach that register.
TEST(PollingData, aTagEndingAtTheLastRegisterR65536IsReadAndWritten) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.40");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.40", tagXml("Last", "VT_UI4", 65535))));
  ASSERT_NE(h.tag("Last"), nullptr);
  sim.setRegisters(65534, {0x0001, 0x0002});
  h.start();
  auto read = h.tag("Last")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  ASSERT_TRUE(read->waitForCompletion(5000));
  EXPECT_EQ(h.tag("Last")->getCache()->getValue().ulVal(), 65538u);
  auto write = h.tag("Last")->submitWrite(SOCmnVariant::fromUI4(0x00030004));
  ASSERT_TRUE(write->waitForCompletion(5000));
  EXPECT_EQ(write->getResult(), S_OK);
  EXPECT_EQ(sim.registerValue(65535), 0x0004);
  EXPECT_TRUE(sawRead(sim, 65534, 2));
}
