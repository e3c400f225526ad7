// Tags of every memory area through the PLC workers and plcsim: values in each area's unit,
// bit writes that leave the PLC's own changes to neighbouring bits alone, and an address
// past an area's size that costs its neighbours nothing.
#include <gtest/gtest.h>

#include <atomic>

#include "server/opc/ValueConversion.h"
#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;
using configfile::MemoryArea;
using plcsim::MessageKind;

namespace {

std::string areaTag(const std::string& name, const std::string& type, const std::string& memory, unsigned address,
                    unsigned elements = 0) {
  std::string extra = "<memory>" + memory + "</memory>";
  if (elements) extra += "<elements>" + std::to_string(elements) + "</elements>";
  return "<tag><name>" + name + "</name><comment></comment><datatype>" + type + "</datatype>" + extra +
         "<address>" + std::to_string(address) + "</address><accessrights>READWRITE</accessrights></tag>\r\n";
}

}  // namespace

TEST(Areas, tagsOfSeveralAreasArePolledEachInItsOwnMessagesAndUnits) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.12.10");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.12.10",
                            areaTag("Level", "VT_I2", "AI", 5) + areaTag("Pump", "VT_BOOL", "Q", 3) +
                                areaTag("Inputs", "VT_UI2", "I", 17) + areaTag("Total", "VT_I4", "M", 9) +
                                tagXml("Reg", "VT_I2", 5))));
  ASSERT_TRUE(h.warnings.empty()) << h.warnings.front();
  sim.setWord(MemoryArea::AI, 4, 100);
  sim.setBit(MemoryArea::Q, 2, true);
  sim.setBytes(MemoryArea::I, 2, {0x34, 0x12});
  sim.setBytes(MemoryArea::M, 1, {0x01, 0x00, 0x02, 0x00});
  sim.setRegister(4, 7);
  h.start();
  auto g = h.group("g", 100);
  std::vector<SOCmnPointer<SODaSItem>> items;
  for (const char* name : {"Level", "Pump", "Inputs", "Total", "Reg"}) items.push_back(h.activate(*g, name));
  for (const char* name : {"Level", "Pump", "Inputs", "Total", "Reg"}) ASSERT_TRUE(h.waitForQuality(name, 0xC0)) << name;
  EXPECT_EQ(h.tag("Level")->getCache()->getValue().iVal(), 100);
  EXPECT_EQ(h.tag("Pump")->getCache()->getValue().boolVal(), VARIANT_TRUE);
  EXPECT_EQ(h.tag("Inputs")->getCache()->getValue().uiVal(), 0x1234);
  EXPECT_EQ(h.tag("Total")->getCache()->getValue().lVal(), 65538);
  EXPECT_EQ(h.tag("Reg")->getCache()->getValue().iVal(), 7);
  h.stop();
  // Bit tables were read in bytes only, and every request passed the simulator's checks.
  for (const auto& m : sim.log()) {
    if (m.request.kind == MessageKind::Read) {
      EXPECT_NE(m.request.unit, plc::ge::Unit::Bit);
    }
  }
  EXPECT_EQ(sim.stats().layoutErrors, 0u);
  EXPECT_EQ(sim.stats().refused, 0u);
}

TEST(Areas, aBitWrittenWhileThePlcChangesItsNeighbourKeepsTheNeighbour) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.12.11");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.12.11", areaTag("Pump", "VT_BOOL", "Q", 3) + areaTag("Valve", "VT_BOOL", "Q", 5))));
  // The PLC program flips %Q5 right after every read of %Q has been answered: a server that
  // read the byte, set its bit and wrote the byte back would undo the flip.
  std::atomic<bool> valve{false};
  std::atomic<int> writes{0}, wrongAtWrite{0};
  sim.setObserver([&](const plcsim::LoggedMessage& m) {
    if (m.request.area != MemoryArea::Q) return;
    if (m.request.kind == MessageKind::Read) {
      valve = !valve;
      sim.setBit(MemoryArea::Q, 4, valve);
    } else if (m.request.kind == MessageKind::Write) {
      ++writes;
      if (sim.bit(MemoryArea::Q, 4) != valve) ++wrongAtWrite;
      EXPECT_EQ(m.request.unit, plc::ge::Unit::Bit);
      EXPECT_EQ(m.request.index, 2);
      EXPECT_EQ(m.request.count, 1);
    }
  });
  h.start();
  auto g = h.group("g", 50);
  auto item = h.activate(*g, "Valve");
  ASSERT_TRUE(h.waitForQuality("Valve", 0xC0));
  for (int i = 0; i < 10; ++i) {
    auto write = h.tag("Pump")->submitWrite(SOCmnVariant::fromBool(i % 2 == 0));
    ASSERT_TRUE(write->waitForCompletion(5000));
    EXPECT_EQ(write->getResult(), S_OK);
    EXPECT_EQ(sim.bit(MemoryArea::Q, 2), i % 2 == 0);
  }
  h.stop();
  sim.setObserver({});
  EXPECT_EQ(writes, 10);
  EXPECT_EQ(wrongAtWrite, 0);
}

TEST(Areas, anAddressPastTheAreasSizeIsOutOfRangeAndItsNeighboursStayGood) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.12.12");
  sim.setAreaSize(MemoryArea::AI, 100);
  ASSERT_TRUE(h.load(plcXml("P", "127.0.12.12", areaTag("In", "VT_I2", "AI", 99) + areaTag("Past", "VT_I2", "AI", 101) +
                                                    areaTag("Also", "VT_I2", "AI", 100))));
  sim.setWord(MemoryArea::AI, 98, 5);
  sim.setWord(MemoryArea::AI, 99, 6);
  h.start();
  auto g = h.group("g", 100);
  auto i1 = h.activate(*g, "In"), i2 = h.activate(*g, "Past"), i3 = h.activate(*g, "Also");
  ASSERT_TRUE(h.waitForQuality("In", 0xC0));
  ASSERT_TRUE(h.waitForQuality("Also", 0xC0));
  ASSERT_TRUE(waitUntil([&] { return h.tag("Past")->getCache()->getQuality() == 0x04; }));
  EXPECT_EQ(h.tag("In")->getCache()->getValue().iVal(), 5);
  EXPECT_EQ(h.tag("Also")->getCache()->getValue().iVal(), 6);
  ASSERT_TRUE(waitUntil([&] { return h.sink.reported(66, "P"); }));
  // The good ones keep being read at their rate; the refused one about once a second at
  // first, so there are far fewer refusals than reads.
  sim.setWord(MemoryArea::AI, 98, 8);
  EXPECT_TRUE(waitUntil([&] { return h.tag("In")->getCache()->getValue().iVal() == 8; }));
  const auto before = sim.stats();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const auto after = sim.stats();
  EXPECT_GE(after.reads - before.reads, 5u);
  EXPECT_LE(after.refused - before.refused, 3u);
  EXPECT_EQ(h.tag("In")->getCache()->getQuality(), 0xC0);
  EXPECT_EQ(h.devices.getIndex(0)->status().lastResultCode, plc::kRequestRefused);
  // The PLC itself works: only its refused tag is Bad (so MQTT's Sparkplug B keeps the device born).
  EXPECT_EQ(h.devices.getIndex(0)->status().state, PlcState::Working);

  // The PLC goes away and comes back: the refused tag says so again at the first read after
  // the reconnection, not only once it is next tried, seconds later.
  sim.stop();
  ASSERT_TRUE(waitUntil([&] { return h.tag("In")->getCache()->getQuality() != 0xC0; }));
  ASSERT_TRUE(waitUntil([&] { return h.tag("Past")->getCache()->getQuality() != 0x04; }));
  std::string error;
  ASSERT_TRUE(sim.start(&error)) << error;
  ASSERT_TRUE(h.waitForQuality("In", 0xC0));
  EXPECT_EQ(h.tag("Past")->getCache()->getQuality(), 0x04);
}
