// The server core when PLCs fail: connections lost and made again, refused handshakes,
// honest states and values, clients never held up by a PLC's answer. Each case is the
// smallest reproducer of a fault seen against plcsim. PLCs on 127.0.7.x.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;

namespace {

// A read from the device, waited for; what it found.
SODaSCacheSnapshot deviceRead(PollingHarness& h, const std::string& tag) {
  auto request = h.tag(tag)->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  EXPECT_TRUE(request->waitForCompletion(5000)) << tag;
  if (auto result = request->getReadResult()) return *result;
  SODaSCacheSnapshot none;
  none.quality = OPC_QUALITY_BAD;
  return none;
}

HRESULT deviceWrite(PollingHarness& h, const std::string& tag, const SOCmnVariant& value) {
  auto request = h.tag(tag)->submitWrite(value);
  EXPECT_TRUE(request->waitForCompletion(5000)) << tag;
  return request->getResult();
}

}  // namespace

TEST(PlcFaults, aRequestWhoseConnectionThePlcDropsIsSentAgainOverANewOne) {
  PollingHarness h;
  // Three answers per connection: the handshake's two and one read.
  auto& sim = h.simulate("127.0.7.1", {.closeAfter = 3});
  sim.setRegister(0, 42);
  ASSERT_TRUE(h.load(plcXml("P", "127.0.7.1", tagXml("X", "VT_I2", 1))));
  h.start();
  const SODaSCacheSnapshot first = deviceRead(h, "X");
  EXPECT_EQ(first.quality, OPC_QUALITY_GOOD);
  EXPECT_EQ(first.value.iVal(), 42);
  // The PLC closes the connection on the next request: it goes again over a new one.
  const SODaSCacheSnapshot second = deviceRead(h, "X");
  EXPECT_EQ(second.quality, OPC_QUALITY_GOOD);
  EXPECT_EQ(second.value.iVal(), 42);
  EXPECT_EQ(deviceWrite(h, "X", SOCmnVariant::fromI2(7)), S_OK);
  EXPECT_EQ(sim.registerValue(0), 7);
  EXPECT_EQ(sim.stats().connections, 3u);
  EXPECT_EQ(h.devices.getIndex(0)->status().reconnects, 2u);
  // Once only: a connection dropped again at once is a failure.
  sim.setFaults({.closeAfter = 2});
  EXPECT_EQ(deviceRead(h, "X").quality, OPC_QUALITY_COMM_FAILURE);
  EXPECT_TRUE(waitUntil([&] { return h.sink.reported(3, "P"); }));
  EXPECT_TRUE(h.sink.reports().size() == 1u) << "nothing was reported before";
}

TEST(PlcFaults, aRestartedPlcIsConnectedAgainByTheNextRequest) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.7.2");
  sim.setRegister(0, 5);
  ASSERT_TRUE(h.load(plcXml("P", "127.0.7.2", tagXml("X", "VT_I2", 1))));
  h.start();
  EXPECT_EQ(deviceRead(h, "X").value.iVal(), 5);
  sim.stop();
  auto& restarted = h.simulate("127.0.7.2");
  restarted.setRegister(0, 6);
  // The old connection is found closed before the request goes out: it goes over a new one.
  const SODaSCacheSnapshot found = deviceRead(h, "X");
  EXPECT_EQ(found.quality, OPC_QUALITY_GOOD);
  EXPECT_EQ(found.value.iVal(), 6);
  EXPECT_EQ(deviceWrite(h, "X", SOCmnVariant::fromI2(8)), S_OK);
  EXPECT_EQ(restarted.registerValue(0), 8);
}

TEST(PlcFaults, aRefusedHandshakeIsTriedAfreshAndWorkingIsReportedOnlyAfterAMessageSucceeds) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.7.3", {.refuseHandshake = true});
  ASSERT_TRUE(h.load(plcXml("P", "127.0.7.3", tagXml("X", "VT_I2", 1))));
  h.start();
  auto g = h.group("g", 100);
  auto item = h.activate(*g, "X");
  ASSERT_TRUE(waitUntil([&] { return h.sink.reported(65, "P"); }));
  // Each try is a new connection with a new handshake, never a half-open one taken as working.
  ASSERT_TRUE(waitUntil([&] { return sim.stats().connections >= 3; }));
  EXPECT_FALSE(h.sink.reported(0, "P"));
  EXPECT_EQ(sim.stats().reads, 0u);
  EXPECT_TRUE(waitUntil([&] { return h.tag("X")->getCache()->getQuality() == OPC_QUALITY_DEVICE_FAILURE; }));
  sim.setFaults({});
  sim.setRegister(0, 3);
  // Tried again after the back-off.
  ASSERT_TRUE(h.waitForQuality("X", OPC_QUALITY_GOOD, 10000));
  EXPECT_EQ(h.tag("X")->getCache()->getValue().iVal(), 3);
  EXPECT_TRUE(waitUntil([&] { return h.sink.reported(0, "P"); }));
}

TEST(PlcFaults, aSlowerGroupsRateChangeNeverSlowsATagAFasterGroupShares) {
  PollingHarness h;
  h.simulate("127.0.7.4");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.7.4", tagXml("T", "VT_I2", 1))));
  h.start();
  auto fast = h.group("fast", 200);
  auto slow = h.group("slow", 1000);
  auto i1 = h.activate(*fast, "T");
  auto i2 = h.activate(*slow, "T");
  ASSERT_TRUE(waitUntil([&] { return h.blockRate("T") == 200; }));
  slow->setUpdateRate(2000);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // well past the settle time
  EXPECT_EQ(h.blockRate("T"), 200u);
  // The faster group slowing down: the smallest rate over the active items is now 500.
  fast->setUpdateRate(500);
  EXPECT_TRUE(waitUntil([&] { return h.blockRate("T") == 500; }));
  EXPECT_EQ(h.blockCount(0), 1u);
}

TEST(PlcFaults, aRateChangeOfAGroupWhoseItemIsInactiveStartsNoPolling) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.7.5");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.7.5", tagXml("T", "VT_I2", 1))));
  h.start();
  auto g = h.group("g", 1000);
  auto item = g->addItem(SOCmnPointer<SODaSTag>::share(h.tag("T")), false);
  g->setUpdateRate(100);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(h.blockCount(0), 0u);
  EXPECT_EQ(sim.stats().reads, 0u);
}

TEST(PlcFaults, aDeviceReadOfATagNobodyPollsServesLaterReads_untilAWriteOrAFailure) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.7.6");
  sim.setRegister(0, 1);
  ASSERT_TRUE(h.load(plcXml("P", "127.0.7.6", tagXml("T", "VT_I2", 1))));
  h.start();
  const SODaSCacheSnapshot read = deviceRead(h, "T");
  EXPECT_EQ(read.value.iVal(), 1);
  // The cache keeps it, with the time it was read, for Reads that accept its age.
  const SODaSCacheSnapshot kept = h.tag("T")->getCache()->getSnapshot();
  EXPECT_FALSE(kept.waitingForInitialData);
  EXPECT_EQ(kept.value.iVal(), 1);
  EXPECT_EQ(kept.timeStamp, read.timeStamp);
  // A write makes it what the PLC no longer holds: dropped.
  EXPECT_EQ(deviceWrite(h, "T", SOCmnVariant::fromI2(2)), S_OK);
  EXPECT_TRUE(h.tag("T")->getCache()->isWaitingForInitialData());

  // Subscribed now: nothing current until the block's first read, which finds 2.
  auto g = h.group("g", 100);
  auto item = h.activate(*g, "T");
  SODaSCacheSnapshot first;
  ASSERT_TRUE(waitUntil([&] {
    first = h.tag("T")->getCache()->getSnapshot();
    return !first.waitingForInitialData;
  }));
  EXPECT_EQ(first.value.iVal(), 2);
  EXPECT_EQ(first.quality, OPC_QUALITY_GOOD);

  // Unsubscribed: the value is no longer kept current.
  item->setActive(false);
  EXPECT_TRUE(waitUntil([&] { return h.tag("T")->getCache()->isWaitingForInitialData(); }));

  // Read again, then the PLC fails: the value read is dropped, not kept as the PLC's.
  EXPECT_EQ(deviceRead(h, "T").value.iVal(), 2);
  EXPECT_FALSE(h.tag("T")->getCache()->isWaitingForInitialData());
  sim.stop();
  EXPECT_EQ(deviceRead(h, "T").quality, OPC_QUALITY_COMM_FAILURE);
  EXPECT_TRUE(h.tag("T")->getCache()->isWaitingForInitialData());
}

TEST(PlcFaults, aHookIsAnsweredWhileAPreReadWaitsForThePlcsAnswer) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.7.7");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.7.7", tagXml("Flag", "VT_BOOL", 1, 0, 3) + tagXml("Other", "VT_I2", 20))));
  h.start();
  ASSERT_EQ(deviceRead(h, "Other").quality, OPC_QUALITY_GOOD);  // connected
  sim.setFaults({.silent = true});
  const auto before = sim.stats().messages;
  // A boolean write reads its register first; the PLC keeps that answer back (1 s limit).
  auto write = h.tag("Flag")->submitWrite(SOCmnVariant::fromBool(true));
  ASSERT_TRUE(waitUntil([&] { return sim.stats().messages > before; }));
  // A client activating an item meanwhile takes queueLock; it must not wait for the PLC.
  auto g = h.group("g", 1000);
  auto item = h.activate(*g, "Other");
  EXPECT_FALSE(write->isCompleted());
  auto read = h.tag("Other")->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  EXPECT_FALSE(write->isCompleted());
  ASSERT_TRUE(write->waitForCompletion(5000));
  EXPECT_EQ(write->getResult(), E_FAIL);
  EXPECT_TRUE(read->waitForCompletion(5000));
}
