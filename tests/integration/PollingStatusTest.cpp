// The PLC workers reporting PLC states: a line per change of state, recovery, two PLCs
// of which one fails, and no PLC at all.
#include <gtest/gtest.h>

#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;

TEST(PollingStatus, noPlcIsReportedAndNothingConnects) {
  PollingHarness h;
  ASSERT_TRUE(h.load(""));
  h.start();
  ASSERT_TRUE(waitUntil([&] { return !h.sink.reports().empty(); }));
  h.stop();
  EXPECT_EQ(h.sink.reports(), (std::vector<StatusReport>{{WM_NO_PLC, 0, ""}}));
  EXPECT_EQ(h.thread->workerCount(), 0u);  // no link was ever set up
}

TEST(PollingStatus, aSilentPlcIsReportedWhenItFailsAndWhenItIsDemotedThenRecovers) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.20");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.20", tagXml("T", "VT_I2", 1))));
  sim.setRegister(0, 5);
  h.start();
  auto g = h.group("g", 100);
  auto item = h.activate(*g, "T");
  ASSERT_TRUE(h.waitForQuality("T", 0xC0));
  sim.setFaults({.silent = true});
  ASSERT_TRUE(waitUntil([&] { return h.sink.reported(4, "P"); }));
  EXPECT_TRUE(waitUntil([&] { return h.tag("T")->getCache()->getQuality() == 0x18; }));
  // Once when it fails, once more when its retry fails too (demoted, with the time of the
  // next try); the same failure again and again after that is not reported.
  ASSERT_TRUE(waitUntil([&] { return h.devices.getIndex(0)->status().state == PlcState::Demoted; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_EQ(h.sink.count(4), 2u);
  sim.setFaults({});
  sim.setRegister(0, 6);
  ASSERT_TRUE(waitUntil([&] { return h.sink.reported(0, "P"); }, 8000));
  EXPECT_TRUE(waitUntil([&] { return h.tag("T")->getCache()->getValue().iVal() == 6; }));
  EXPECT_EQ(h.tag("T")->getCache()->getQuality(), 0xC0);
  EXPECT_EQ(h.sink.reports().back(), (StatusReport{WM_PLC_STATUS, 0, "P"}));
  EXPECT_EQ(h.sink.count(4), 2u);
}

TEST(PollingStatus, anUnreachablePlcBesideAHealthyOneIsReportedAsFailingAndDemotedAndTheHealthyOneNever) {
  PollingHarness h;
  auto& good = h.simulate("127.0.4.21");
  // Nothing listens on 127.0.4.22: connects are refused (32).
  ASSERT_TRUE(h.load(plcXml("Good", "127.0.4.21", tagXml("G", "VT_I2", 1)) +
                     plcXml("Gone", "127.0.4.22", tagXml("X", "VT_I2", 1))));
  good.setRegister(0, 1);
  h.start();
  auto g = h.group("g", 100);
  auto i1 = h.activate(*g, "G");
  auto i2 = h.activate(*g, "X");
  ASSERT_TRUE(waitUntil([&] { return h.sink.reported(32, "Gone"); }, 10000));
  EXPECT_TRUE(waitUntil([&] { return h.tag("X")->getCache()->getQuality() == 0x18; }));
  ASSERT_TRUE(waitUntil([&] { return h.devices.getIndex(1)->status().state == PlcState::Demoted; }));
  // Many more failed attempts, and many good reads of the other PLC, in the meantime.
  const auto readsBefore = good.stats().reads;
  EXPECT_TRUE(waitUntil([&] { return good.stats().reads > readsBefore + 5; }, 10000));
  good.setRegister(0, 2);
  EXPECT_TRUE(waitUntil([&] { return h.tag("G")->getCache()->getValue().iVal() == 2; }));
  EXPECT_EQ(h.tag("G")->getCache()->getQuality(), 0xC0);
  h.stop();
  // One line when a PLC's state changes: the failing one when it fails and when it is
  // demoted, the healthy one never.
  EXPECT_EQ(h.sink.reports(), (std::vector<StatusReport>{{WM_PLC_STATUS, 32, "Gone"}, {WM_PLC_STATUS, 32, "Gone"}}));
}

TEST(PollingStatus, aSinglePlcThatRefusedReadsIsPolledAgainWhenItAnswers) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.23");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.23", tagXml("T", "VT_I2", 1) + tagXml("U", "VT_I2", 100))));
  h.start();
  auto g = h.group("g", 100);
  auto i1 = h.activate(*g, "T");
  auto i2 = h.activate(*g, "U");
  ASSERT_TRUE(h.waitForQuality("T", 0xC0));
  sim.setFaults({.refuseReads = true});
  // Each tag refused on its own (BadOutOfRange), tried again after a second, then 2 s, ...
  ASSERT_TRUE(waitUntil([&] { return h.tag("T")->getCache()->getQuality() == 0x04; }));
  EXPECT_TRUE(waitUntil([&] { return h.tag("U")->getCache()->getQuality() == 0x04; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(h.sink.count(66), 1u);
  EXPECT_EQ(h.sink.count(0), 0u);  // no false recovery between refused reads
  sim.setFaults({});
  sim.setRegister(0, 9);
  EXPECT_TRUE(waitUntil([&] { return h.tag("T")->getCache()->getValue().iVal() == 9; }));
  EXPECT_TRUE(h.waitForQuality("U", 0xC0));
  EXPECT_TRUE(waitUntil([&] { return h.sink.reported(0, "P"); }, 8000));  // once it kept working a while
  EXPECT_EQ(sim.stats().connections, 1u);  // a refusal keeps the connection
}

TEST(PollingStatus, writesForAnUnreachablePlcFailAndNeverReachTheOneSelectedBefore) {
  PollingHarness h;
  auto& reachable = h.simulate("127.0.4.30");
  // Nothing listens on 127.0.4.31.
  ASSERT_TRUE(h.load(plcXml("Here", "127.0.4.30", tagXml("H", "VT_I2", 1)) +
                     plcXml("Away", "127.0.4.31", tagXml("A", "VT_I2", 1))));
  h.start();
  auto read = h.tag("H")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);  // "Here" is selected now
  ASSERT_TRUE(read->waitForCompletion(5000));
  for (int i = 0; i < 2; ++i) {
    auto write = h.tag("A")->submitWrite(SOCmnVariant::fromI2(42));
    ASSERT_TRUE(write->waitForCompletion(5000)) << i;
    EXPECT_EQ(write->getResult(), E_FAIL) << i;
    EXPECT_EQ(write->getWriteQuality(), 0x18) << i;
  }
  auto deviceRead = h.tag("A")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  ASSERT_TRUE(deviceRead->waitForCompletion(5000));
  EXPECT_EQ(h.tag("A")->getCache()->getQuality(), 0x18);
  EXPECT_EQ(reachable.stats().writes, 0u);
  EXPECT_EQ(reachable.registerValue(0), 0);
  EXPECT_EQ(reachable.stats().reads, 1u);  // only the read of its own tag
}

TEST(PollingStatus, aPlcsFiguresAreReadableWhileItWorksAndAfterItReconnects) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.4.24");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.4.24", tagXml("T", "VT_I2", 1) + tagXml("U", "VT_I4", 3))));
  EXPECT_EQ(h.devices.getIndex(0)->status().state, PlcState::Idle);
  h.start();
  auto g = h.group("g", 100);
  auto i1 = h.activate(*g, "T");
  auto i2 = h.activate(*g, "U");
  ASSERT_TRUE(h.waitForQuality("U", 0xC0));
  ASSERT_TRUE(waitUntil([&] { return h.devices.getIndex(0)->status().scanPeriodMs > 0; }));
  PlcStatus s = h.devices.getIndex(0)->status();
  EXPECT_EQ(s.state, PlcState::Working);
  EXPECT_TRUE(s.connected);
  EXPECT_EQ(s.lastResultCode, 0u);
  EXPECT_GE(s.messagesSent, 2u);  // the connection and at least one read
  EXPECT_EQ(s.messagesFailed, 0u);
  EXPECT_EQ(s.reconnects, 0u);
  EXPECT_EQ(s.polledBlocks, 1u);
  EXPECT_EQ(s.polledTags, 2u);
  EXPECT_NE(s.lastChange, std::chrono::system_clock::time_point{});

  // The PLC drops the connection every few messages: each drop fails a message and is
  // followed by a new connection.
  sim.setFaults({.resetAfter = 3});
  ASSERT_TRUE(waitUntil([&] { return h.devices.getIndex(0)->status().reconnects >= 2; }));
  s = h.devices.getIndex(0)->status();
  EXPECT_GE(s.messagesFailed, 2u);
  EXPECT_GE(s.messagesSent, s.messagesFailed);
}
