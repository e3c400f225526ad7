// A PLC coming back: a client's write is tried at once, connections the PLC drops now and
// then cost no Bad values, a PLC that flaps is summarised, and a PLC not heard from yet says
// "connecting". PLCs on 127.0.26.x.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "server/plc/PlcWorker.h"
#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;

TEST(PlcRecovery, aWriteToADemotedPlcThatIsBackTriesAtOnce_atMostOnceASecond) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.26.10", {.refuseHandshake = true});
  ASSERT_TRUE(h.load(plcXml("P", "127.0.26.10", tagXml("T", "VT_I2", 1))));
  std::atomic<std::uint32_t> tick{1000};
  h.start([&] { return tick.load(); });
  auto g = h.group("g", 100);
  auto item = h.activate(*g, "T");
  ASSERT_TRUE(waitUntil([&] { return h.blockCount(0) == 1; }));
  auto tries = [&] { return sim.stats().connections; };
  // Tries at 1200 and 1301 (demoted), at 2302 (next at 4302).
  for (auto [t, n] : {std::pair{1200u, 1u}, {1301u, 2u}, {2302u, 3u}}) {
    tick = t;
    // The try is over (and the next one scheduled from this tick) once the worker counts it.
    ASSERT_TRUE(waitUntil([&] { return h.devices.getIndex(0)->status().messagesFailed == n; }, 3000)) << t;
  }
  sim.setFaults({});  // the PLC is back
  tick = 2500;        // less than a second after the last try: the write fails at once
  auto early = h.tag("T")->submitWrite(SOCmnVariant::fromI2(1));
  ASSERT_TRUE(early->waitForCompletion(2000));
  EXPECT_EQ(early->getResult(), E_FAIL);
  EXPECT_EQ(tries(), 3u);
  tick = 3400;  // a second on, still inside the back-off: the write tries, and gets through
  auto write = h.tag("T")->submitWrite(SOCmnVariant::fromI2(2));
  ASSERT_TRUE(write->waitForCompletion(3000));
  EXPECT_EQ(write->getResult(), S_OK);
  EXPECT_EQ(sim.registerValue(0), 2);
  EXPECT_EQ(tries(), 4u);
}

TEST(PlcRecovery, aPlcThatDropsItsConnectionEveryFewMessagesCostsNoBadValue) {
  PollingHarness h;
  // The handshake's two answers and 18 reads per connection.
  auto& sim = h.simulate("127.0.26.11", {.closeAfter = 20});
  sim.setRegister(0, 9);
  ASSERT_TRUE(h.load(plcXml("P", "127.0.26.11", tagXml("T", "VT_I2", 1))));
  h.start();
  auto g = h.group("g", 50);
  auto item = h.activate(*g, "T");
  ASSERT_TRUE(h.waitForQuality("T", OPC_QUALITY_GOOD));
  int bad = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
  while (std::chrono::steady_clock::now() < until) {
    bad += h.tag("T")->getCache()->getQuality() != OPC_QUALITY_GOOD;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_GE(sim.stats().connections, 3u) << "the PLC dropped connections meanwhile";
  EXPECT_EQ(bad, 0);
  EXPECT_TRUE(h.sink.reports().empty());
  EXPECT_EQ(h.devices.getIndex(0)->status().state, PlcState::Working);
}

TEST(PlcRecovery, aPlcThatFlapsIsReportedOnceAndWorkingOnceItHeldFiveSeconds) {
  PollingHarness h;
  h.simulate("127.0.26.12");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.26.12", tagXml("T", "VT_I2", 1))));
  h.start();
  auto g = h.group("g", 100);
  auto item = h.activate(*g, "T");
  ASSERT_TRUE(h.waitForQuality("T", OPC_QUALITY_GOOD));
  // Four reboots: down until the worker has seen it, up until it works again.
  for (int reboot = 0; reboot < 4; ++reboot) {
    h.sims.back()->stop();
    ASSERT_TRUE(waitUntil([&] { return h.tag("T")->getCache()->getQuality() != OPC_QUALITY_GOOD; })) << reboot;
    h.simulate("127.0.26.12");
    ASSERT_TRUE(h.waitForQuality("T", OPC_QUALITY_GOOD, 8000)) << reboot;
  }
  const auto duringFlaps = h.sink.reports();
  EXPECT_LE(duringFlaps.size(), 2u);  // the first failure, perhaps its demotion; no recovery yet
  for (const auto& r : duringFlaps) EXPECT_NE(r.code, 0u);
  ASSERT_TRUE(waitUntil([&] { return h.sink.reported(0, "P"); }, 8000));
  EXPECT_EQ(h.sink.reports().size(), duringFlaps.size() + 1);
  EXPECT_GE(h.devices.getIndex(0)->status().failuresLastMinute, 4u);
}

TEST(PlcRecovery, aPlcNotHeardFromYetIsConnecting) {
  PollingHarness h;
  h.simulate("127.0.26.13", {.silentConnect = true});
  ASSERT_TRUE(h.load(plcXml("P", "127.0.26.13", tagXml("T", "VT_I2", 1))));
  h.start();
  EXPECT_EQ(h.devices.getIndex(0)->status().state, PlcState::Idle);
  auto g = h.group("g", 100);
  auto item = h.activate(*g, "T");
  ASSERT_TRUE(waitUntil([&] { return h.devices.getIndex(0)->status().polledTags == 1; }));
  // Its first connect waits up to a second for an answer that never comes.
  const PlcStatus status = h.devices.getIndex(0)->status();
  EXPECT_EQ(status.state, PlcState::Connecting);
  EXPECT_FALSE(status.connected);
  EXPECT_TRUE(waitUntil([&] { return h.devices.getIndex(0)->status().state == PlcState::Failing; }, 3000));
}

TEST(PlcRecovery, aPlcWhoseAddressIsNoIpv4AddressFailsOnceWithTheReasonAndIsNeverTried) {
  PollingHarness h;
  // Loaded with a problem named (files saved before the rule must go on loading).
  h.load(plcXml("P", "127.0.1.300", tagXml("T", "VT_I2", 1)));
  ASSERT_EQ(h.warnings.size(), 1u);
  h.start();
  auto g = h.group("g", 100);
  auto item = h.activate(*g, "T");
  ASSERT_TRUE(waitUntil([&] { return h.tag("T")->getCache()->getQuality() == OPC_QUALITY_COMM_FAILURE; }));
  auto read = h.tag("T")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  ASSERT_TRUE(read->waitForCompletion(2000));
  EXPECT_EQ(read->getReadResult()->quality, OPC_QUALITY_COMM_FAILURE);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // past any back-off
  const PlcStatus status = h.devices.getIndex(0)->status();
  EXPECT_EQ(status.state, PlcState::Failing);
  EXPECT_EQ(status.lastResultCode, plc::kAddressNotAvailable);
  EXPECT_EQ(status.nextTry, std::chrono::system_clock::time_point{});  // none: it is never tried
  EXPECT_EQ(status.messagesSent, 0u);
  EXPECT_EQ(h.sink.reports(), (std::vector<StatusReport>{{WM_PLC_STATUS, plc::kAddressNotAvailable, "P"}}));
}
