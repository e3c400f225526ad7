// What one client can make the services hold or do at once: open device operations, the
// size of a Read's answer, and the taking apart of huge subscriptions, which is spread over
// ticks so that no teardown stalls the other clients.
#include "tests/ua/services_Harness.h"

namespace zentarc::ua::test {
namespace {

class ServiceLimitsTest : public ServicesHarness {
 protected:
  uint32_t subscribe(const std::shared_ptr<Session>& session = nullptr) {
    CreateSubscriptionRequest r;
    r.requestedPublishingInterval = 100;
    r.requestedMaxKeepAliveCount = 3;
    r.requestedLifetimeCount = 9;
    return run(&UaServices::createSubscription, r, session).subscriptionId;
  }
  // `count` monitored items on `tag` in one call; returns their ids.
  std::vector<uint32_t> monitorMany(uint32_t sub, const std::string& tag, size_t count,
                                    const std::shared_ptr<Session>& session = nullptr) {
    MonitoredItemCreateRequest c;
    c.itemToMonitor = valueOf(tag);
    c.monitoringMode = MonitoringMode::Reporting;
    c.requestedParameters.samplingInterval = 100;
    c.requestedParameters.queueSize = 1;
    std::vector<uint32_t> ids;
    while (ids.size() < count) {  // in calls the per-call limit allows
      CreateMonitoredItemsRequest r;
      r.subscriptionId = sub;
      r.itemsToCreate.assign(std::min<size_t>(1000, count - ids.size()), c);
      auto resp = run(&UaServices::createMonitoredItems, r, session);
      if (resp.results.empty()) {
        ADD_FAILURE() << "CreateMonitoredItems refused: " << statusCodeName(resp.responseHeader.serviceResult);
        break;
      }
      for (const auto& res : resp.results) {
        EXPECT_TRUE(res.statusCode.isGood());
        ids.push_back(res.monitoredItemId);
      }
    }
    return ids;
  }
  size_t deactivations() const {
    size_t n = 0;
    for (const auto& [tag, active] : hooks_.activations) n += active ? 0 : 1;
    return n;
  }
  uint32_t deviceRead(const std::string& tag, const std::shared_ptr<Session>& session = nullptr,
                      uint32_t timeoutHint = 0) {
    ReadRequest r;
    r.maxAge = 0;
    r.nodesToRead = {valueOf(tag)};
    return call(&UaServices::read, r, session, timeoutHint);
  }
  StatusCode faultOf(uint32_t id) { return response<ReadResponse>(id).responseHeader.serviceResult; }
};

TEST_F(ServiceLimitsTest, deviceOperations_areBoundedPerSessionAndOverall) {
  DeviceTag* a = addTag("A", VT_I2);
  ServiceLimits limits;
  limits.maxDeviceOperationsPerSession = 2;
  limits.maxDeviceOperations = 3;
  build(limits);
  deviceRead("A");
  deviceRead("A");
  const uint32_t third = deviceRead("A");
  EXPECT_EQ(faultOf(third), StatusCode(Status::BadTooManyOperations));
  auto other = newSession();
  const uint32_t fromOther = deviceRead("A", other);
  EXPECT_FALSE(answered(fromOther));  // the server's third
  WriteRequest w;
  WriteValue v;
  v.nodeId = tagId("A");
  v.attributeId = static_cast<uint32_t>(AttributeId::Value);
  v.value.value = Variant::of(int16_t{1});
  w.nodesToWrite = {v};
  EXPECT_EQ(response<WriteResponse>(call(&UaServices::write, w, other)).responseHeader.serviceResult,
            StatusCode(Status::BadTooManyOperations));  // over the server's bound
  ASSERT_EQ(a->pending.size(), 3u);
  EXPECT_EQ(services_->deviceOperationCount(), 3u);
  // An answer frees its place.
  a->pending[0]->complete(S_OK);
  runPosted();
  const uint32_t again = deviceRead("A");
  EXPECT_FALSE(answered(again));
  EXPECT_EQ(services_->deviceOperationCount(), 3u);
}

TEST_F(ServiceLimitsTest, deviceOperation_withAHugeTimeoutHint_endsAtTheServersBound) {
  addTag("A", VT_I2);
  ServiceLimits limits;
  limits.maxDeviceTimeoutMs = 2000;
  build(limits);
  const uint32_t id = deviceRead("A", nullptr, 0xFFFFFFFFu);
  advance(1900);
  EXPECT_FALSE(answered(id));
  advance(200);
  ASSERT_TRUE(answered(id));
  EXPECT_EQ(response<ReadResponse>(id).results.at(0).status, StatusCode(Status::BadTimeout));
  EXPECT_EQ(services_->deviceOperationCount(), 0u);
}

TEST_F(ServiceLimitsTest, aReadAcrossASlowPlc_isAnsweredBeforeItsTimeoutHint_withWhatHasCome) {
  DeviceTag* fast = addTag("Fast", VT_I2);
  DeviceTag* slow = addTag("Slow", VT_I2);
  build();
  ReadRequest r;
  r.maxAge = 0;
  r.nodesToRead = {valueOf("Fast"), valueOf("Slow")};
  const uint32_t id = call(&UaServices::read, r, nullptr, 8000);
  ASSERT_EQ(fast->pending.size(), 1u);
  SODaSCacheSnapshot value;
  value.value = SOCmnVariant::fromI2(7);
  value.waitingForInitialData = false;
  fast->pending[0]->setReadResult(value);
  fast->pending[0]->complete(S_OK);
  runPosted();
  advance(7150);
  EXPECT_FALSE(answered(id));
  advance(100);  // 7.25 s: a tenth of the hint before it, so the client still takes it
  ASSERT_TRUE(answered(id));
  const auto results = response<ReadResponse>(id).results;
  ASSERT_EQ(results.size(), 2u);
  EXPECT_FALSE(results[0].status.has_value() && results[0].status->isBad());
  ASSERT_TRUE(results[0].value.has_value());
  EXPECT_EQ(results[1].status, StatusCode(Status::BadTimeout));
  // The slow PLC's read is called off, so its worker does not send for it.
  EXPECT_TRUE(slow->pending.at(0)->isCompleted());
  EXPECT_EQ(slow->pending.at(0)->getResult(), E_ABORT);

  // Without a hint the server's own bound of a few seconds holds.
  const uint32_t plain = deviceRead("Slow");
  advance(4900);
  EXPECT_FALSE(answered(plain));
  advance(200);
  EXPECT_TRUE(answered(plain));
}

TEST_F(ServiceLimitsTest, read_namingALargeArrayTagOftenIsRefusedBeforeAnythingIsBuilt) {
  DeviceTag* big = addTag("Big", VT_ARRAY | VT_UI2, 4000);
  ServiceLimits limits;
  limits.maxReadResponseBytes = 4u * 1024 * 1024;
  build(limits);
  ReadRequest r;
  r.maxAge = 1e9;
  r.nodesToRead.assign(100, valueOf("Big"));  // about 100 x 4000 decoded elements
  EXPECT_EQ(faultOf(call(&UaServices::read, r)), StatusCode(Status::BadResponseTooLarge));
  EXPECT_TRUE(big->pending.empty());
  r.nodesToRead.assign(2, valueOf("Big"));
  const uint32_t ok = call(&UaServices::read, r);
  big->pending.at(0)->complete(S_OK);  // never read: the device is asked
  big->pending.at(1)->complete(S_OK);
  runPosted();
  EXPECT_TRUE(response<ReadResponse>(ok).responseHeader.serviceResult.isGood());
  // Many small values are fine.
  ReadValueId time;
  time.nodeId = NodeId(0, Id::Server_ServerStatus_CurrentTime);
  time.attributeId = static_cast<uint32_t>(AttributeId::Value);
  r.nodesToRead.assign(5000, time);
  EXPECT_TRUE(response<ReadResponse>(call(&UaServices::read, r)).responseHeader.serviceResult.isGood());
}

TEST_F(ServiceLimitsTest, deletingAHugeSubscription_isSpreadOverTicks_andCountsUntilGone) {
  addTag("A", VT_I2);
  ServiceLimits limits;
  limits.teardownItemsPerTick = 100;
  build(limits);
  const uint32_t sub = subscribe();
  monitorMany(sub, "A", 1000);
  EXPECT_EQ(services_->monitoredItemCount(), 1000u);
  DeleteSubscriptionsRequest d;
  d.subscriptionIds = {sub};
  EXPECT_TRUE(run(&UaServices::deleteSubscriptions, d).results.at(0).isGood());
  // Gone for the client at once; its items leave at most a tick's share at a time.
  EXPECT_EQ(services_->subscriptionCount(), 0u);
  EXPECT_EQ(services_->retiringSubscriptionCount(), 1u);
  size_t seen = deactivations();
  EXPECT_LE(seen, 100u);
  for (int tick = 0; tick < 30 && services_->retiringSubscriptionCount() > 0; ++tick) {
    advance(10);
    EXPECT_LE(deactivations() - seen, 100u);
    seen = deactivations();
  }
  EXPECT_EQ(services_->retiringSubscriptionCount(), 0u);
  EXPECT_EQ(deactivations(), 1000u);  // each item once
  EXPECT_EQ(services_->monitoredItemCount(), 0u);
}

TEST_F(ServiceLimitsTest, itemsBeingTakenApart_stillCountAgainstTheItemLimit) {
  addTag("A", VT_I2);
  ServiceLimits limits;
  limits.teardownItemsPerTick = 10;
  limits.maxMonitoredItems = 150;
  build(limits);
  const uint32_t sub = subscribe();
  monitorMany(sub, "A", 100);
  DeleteSubscriptionsRequest d;
  d.subscriptionIds = {sub};
  run(&UaServices::deleteSubscriptions, d);
  // Creating and deleting in a loop cannot pile up items faster than they go.
  CreateMonitoredItemsRequest r;
  r.subscriptionId = subscribe();
  MonitoredItemCreateRequest c;
  c.itemToMonitor = valueOf("A");
  c.monitoringMode = MonitoringMode::Reporting;
  r.itemsToCreate.assign(100, c);
  size_t refused = 0;
  for (const auto& res : run(&UaServices::createMonitoredItems, r).results)
    refused += res.statusCode == StatusCode(Status::BadTooManyMonitoredItems) ? 1 : 0;
  EXPECT_GE(refused, 40u);
  EXPECT_LE(services_->monitoredItemCount(), 150u);
}

TEST_F(ServiceLimitsTest, closingASessionWithHugeSubscriptions_leavesTheWorkToTheTicks) {
  addTag("A", VT_I2);
  addTag("B", VT_I2);
  ServiceLimits limits;
  limits.teardownItemsPerTick = 200;
  build(limits);
  auto s = newSession();
  monitorMany(subscribe(s), "A", 500, s);
  monitorMany(subscribe(s), "B", 500, s);
  const size_t before = deactivations();
  services_->sessionClosed(*s);
  EXPECT_LE(deactivations() - before, 200u);
  for (int tick = 0; tick < 30 && services_->retiringSubscriptionCount() > 0; ++tick) advance(10);
  EXPECT_EQ(deactivations() - before, 1000u);
  EXPECT_EQ(services_->monitoredItemCount(), 0u);
}

TEST_F(ServiceLimitsTest, deleteMonitoredItems_manyAtOnce_eachOnce_theRestStay) {
  addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe();
  std::vector<uint32_t> ids = monitorMany(sub, "A", 3000);
  DeleteMonitoredItemsRequest d;
  d.subscriptionId = sub;
  d.monitoredItemIds.assign(ids.begin(), ids.begin() + 1500);
  d.monitoredItemIds.push_back(ids[5]);   // named twice
  d.monitoredItemIds.push_back(999999);   // unknown
  auto resp = run(&UaServices::deleteMonitoredItems, d);
  ASSERT_EQ(resp.results.size(), 1502u);
  EXPECT_TRUE(resp.results[0].isGood());
  EXPECT_EQ(resp.results[1500], StatusCode(Status::BadMonitoredItemIdInvalid));
  EXPECT_EQ(resp.results[1501], StatusCode(Status::BadMonitoredItemIdInvalid));
  EXPECT_EQ(deactivations(), 1500u);
  EXPECT_EQ(services_->monitoredItemCount(), 1500u);
  // The rest still report and can be deleted later.
  d.monitoredItemIds.assign(ids.begin() + 1500, ids.end());
  resp = run(&UaServices::deleteMonitoredItems, d);
  EXPECT_EQ(deactivations(), 3000u);
  EXPECT_EQ(services_->monitoredItemCount(), 0u);
}

TEST_F(ServiceLimitsTest, modifyMonitoredItems_movingManyToAnotherInterval_keepsThemActive) {
  addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe();
  std::vector<uint32_t> ids = monitorMany(sub, "A", 500);
  ModifyMonitoredItemsRequest m;
  m.subscriptionId = sub;
  for (uint32_t id : ids) {
    MonitoredItemModifyRequest one;
    one.monitoredItemId = id;
    one.requestedParameters.samplingInterval = 250;
    one.requestedParameters.queueSize = 1;
    m.itemsToModify.push_back(one);
  }
  m.itemsToModify.push_back(m.itemsToModify[0]);  // the same item twice: the last one counts
  m.itemsToModify.back().requestedParameters.samplingInterval = 500;
  auto resp = run(&UaServices::modifyMonitoredItems, m);
  ASSERT_EQ(resp.results.size(), 501u);
  EXPECT_EQ(resp.results[1].revisedSamplingInterval, 250);
  EXPECT_EQ(resp.results[500].revisedSamplingInterval, 500);
  size_t on = 0;
  for (const auto& [tag, active] : hooks_.activations) on += active ? 1 : 0;
  EXPECT_EQ(on - deactivations(), 500u);  // every item active once more, none twice
}

}  // namespace
}  // namespace zentarc::ua::test
