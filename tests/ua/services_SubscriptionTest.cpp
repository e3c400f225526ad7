// Subscriptions and monitored items: publishing, keep-alives, expiry, acknowledgements and
// how they drive the toolkit's groups and items.
#include "tests/ua/services_Harness.h"

namespace zentarc::ua::test {
namespace {

class SubscriptionServices : public ServicesHarness {
 protected:
  uint32_t subscribe(double interval = 100, uint32_t keepAlive = 3, uint32_t lifetime = 9,
                     const std::shared_ptr<Session>& session = nullptr) {
    CreateSubscriptionRequest r;
    r.requestedPublishingInterval = interval;
    r.requestedMaxKeepAliveCount = keepAlive;
    r.requestedLifetimeCount = lifetime;
    auto resp = run(&UaServices::createSubscription, r, session);
    EXPECT_TRUE(resp.responseHeader.serviceResult.isGood());
    return resp.subscriptionId;
  }
  MonitoredItemCreateResult monitor(uint32_t sub, const std::string& tag, uint32_t handle,
                                    double sampling = -1, MonitoringMode mode = MonitoringMode::Reporting) {
    CreateMonitoredItemsRequest r;
    r.subscriptionId = sub;
    MonitoredItemCreateRequest c;
    c.itemToMonitor = valueOf(tag);
    c.monitoringMode = mode;
    c.requestedParameters.clientHandle = handle;
    c.requestedParameters.samplingInterval = sampling;
    c.requestedParameters.queueSize = 1;
    r.itemsToCreate.push_back(c);
    return run(&UaServices::createMonitoredItems, r).results.at(0);
  }
  uint32_t publish(std::vector<SubscriptionAcknowledgement> acks = {}) {
    PublishRequest p;
    p.subscriptionAcknowledgements = std::move(acks);
    return call(&UaServices::publish, p);
  }
  // The values of a DataChangeNotification in a publish response, by client handle.
  std::map<uint32_t, DataValue> changes(const PublishResponse& r) {
    std::map<uint32_t, DataValue> out;
    for (const auto& eo : r.notificationMessage.notificationData) {
      DataChangeNotification dcn;
      if (fromExtensionObject(eo, dcn))
        for (auto& n : dcn.monitoredItems) out[n.clientHandle] = n.value;
    }
    return out;
  }
  void store(DeviceTag* t, int16_t v) {
    t->getCache()->setValue(SOCmnVariant::fromI2(v));
    t->getCache()->setQuality(OPC_QUALITY_GOOD);
  }
};

TEST_F(SubscriptionServices, monitoredItem_activatesTheToolkitItem_atTheSamplingRate) {
  addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe(200);
  auto r = monitor(sub, "A", 7, 100);
  EXPECT_TRUE(r.statusCode.isGood());
  EXPECT_EQ(r.revisedSamplingInterval, 100);
  ASSERT_EQ(hooks_.activations.size(), 1u);
  EXPECT_EQ(hooks_.activations[0], (std::pair<std::string, bool>{"A", true}));
  // The toolkit group of that item runs at 100 ms.
  auto& groups = session_->attachmentAs<SessionState>()->server->getGroupList();
  ASSERT_EQ(groups.getCount(), 1u);
  EXPECT_EQ(groups.getIndex(0)->getUpdateRate(), 100u);
}

TEST_F(SubscriptionServices, publish_deliversTheInitialValue_thenOnlyChanges) {
  DeviceTag* a = addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe(100);
  monitor(sub, "A", 7);
  const uint32_t p1 = publish();
  EXPECT_FALSE(answered(p1));
  advance(100);
  ASSERT_TRUE(answered(p1));
  // No value read yet: the first answer is a keep-alive, not a value nobody read.
  auto first = response<PublishResponse>(p1);
  EXPECT_EQ(first.subscriptionId, sub);
  EXPECT_TRUE(first.notificationMessage.notificationData.empty());

  store(a, 5);
  const uint32_t p2 = publish();
  advance(100);
  auto second = response<PublishResponse>(p2);
  EXPECT_EQ(*changes(second)[7].value->get<int16_t>(), 5);
  EXPECT_EQ(second.notificationMessage.sequenceNumber, first.notificationMessage.sequenceNumber);

  // Same value stored again: no notification, so the next answer is a keep-alive later.
  store(a, 5);
  const uint32_t p3 = publish();
  advance(100);
  advance(100);
  EXPECT_FALSE(answered(p3));
  advance(100);
  ASSERT_TRUE(answered(p3));
  auto ka = response<PublishResponse>(p3);
  EXPECT_TRUE(ka.notificationMessage.notificationData.empty());
  EXPECT_EQ(ka.notificationMessage.sequenceNumber, second.notificationMessage.sequenceNumber + 1);
}

TEST_F(SubscriptionServices, aStoredValueReachesTheNextPublish_whenTheDeviceRefreshesAtTheSamplingInterval) {
  DeviceTag* a = addTag("A", VT_I2);
  DeviceTag* b = addTag("B", VT_I2);
  build();
  a->setDeviceRefreshRate(100);  // its block runs at the item's interval: no second clock
  b->setDeviceRefreshRate(50);   // polled faster for another client: sampled on its own clock
  store(a, 1);
  store(b, 1);
  const uint32_t sub = subscribe(100);  // publishing at +100, +200, +300
  advance(50);
  monitor(sub, "A", 1, 100);  // the sampling clock runs at +150, +250
  monitor(sub, "B", 2, 100);
  const uint32_t p1 = publish();
  advance(50);
  EXPECT_EQ(changes(response<PublishResponse>(p1)).size(), 2u);  // the first values

  advance(60);  // +160: just past the sampling clock
  store(a, 2);
  store(b, 2);
  const uint32_t p2 = publish();
  advance(40);  // +200
  auto second = changes(response<PublishResponse>(p2));
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(*second[1].value->get<int16_t>(), 2);  // A at once, B waits for its clock

  const uint32_t p3 = publish();
  advance(50);
  advance(50);  // +300
  auto third = changes(response<PublishResponse>(p3));
  ASSERT_EQ(third.size(), 1u);
  EXPECT_EQ(*third[2].value->get<int16_t>(), 2);
}

TEST_F(SubscriptionServices, plcFailure_andRecovery_reachTheSubscriber) {
  DeviceTag* a = addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe(100);
  monitor(sub, "A", 1);
  store(a, 1);
  publish();
  advance(100);
  a->getCache()->setQuality(OPC_QUALITY_COMM_FAILURE);
  const uint32_t p = publish();
  advance(100);
  const DataValue failed = changes(response<PublishResponse>(p))[1];
  EXPECT_EQ(failed.status, StatusCode(Status::BadCommunicationError));
  EXPECT_FALSE(failed.value.has_value());  // a Bad status carries no value
  store(a, 2);
  const uint32_t q = publish();
  advance(100);
  auto back = changes(response<PublishResponse>(q))[1];
  EXPECT_FALSE(back.status.has_value());
  EXPECT_EQ(*back.value->get<int16_t>(), 2);
}

TEST_F(SubscriptionServices, deleteItem_andCloseSession_deactivateFirst) {
  addTag("A", VT_I2);
  addTag("B", VT_I2);
  build();
  const uint32_t sub = subscribe();
  const uint32_t ia = monitor(sub, "A", 1).monitoredItemId;
  monitor(sub, "B", 2);
  DeleteMonitoredItemsRequest d;
  d.subscriptionId = sub;
  d.monitoredItemIds = {ia, 999};
  auto resp = run(&UaServices::deleteMonitoredItems, d);
  EXPECT_EQ(resp.results, (std::vector<StatusCode>{Status::Good, Status::BadMonitoredItemIdInvalid}));
  EXPECT_EQ(hooks_.activations.back(), (std::pair<std::string, bool>{"A", false}));
  services_->sessionClosed(*session_);
  EXPECT_EQ(hooks_.activations.back(), (std::pair<std::string, bool>{"B", false}));
  EXPECT_EQ(services_->subscriptionCount(), 0u);
  EXPECT_EQ(services_->monitoredItemCount(), 0u);
  session_.reset();
}

TEST_F(SubscriptionServices, monitoringMode_disabled_deactivates_andReenabling_reportsAgain) {
  DeviceTag* a = addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe();
  const uint32_t id = monitor(sub, "A", 1).monitoredItemId;
  store(a, 4);
  SetMonitoringModeRequest m;
  m.subscriptionId = sub;
  m.monitoringMode = MonitoringMode::Disabled;
  m.monitoredItemIds = {id};
  run(&UaServices::setMonitoringMode, m);
  EXPECT_EQ(hooks_.activations.back(), (std::pair<std::string, bool>{"A", false}));
  m.monitoringMode = MonitoringMode::Reporting;
  run(&UaServices::setMonitoringMode, m);
  EXPECT_EQ(hooks_.activations.back(), (std::pair<std::string, bool>{"A", true}));
  const uint32_t p = publish();
  advance(100);
  EXPECT_EQ(*changes(response<PublishResponse>(p))[1].value->get<int16_t>(), 4);
}

TEST_F(SubscriptionServices, modifySubscription_movesFollowingItemsRate) {
  addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe(100);
  monitor(sub, "A", 1);  // -1: follows the publishing interval
  ModifySubscriptionRequest m;
  m.subscriptionId = sub;
  m.requestedPublishingInterval = 500;
  m.requestedMaxKeepAliveCount = 3;
  m.requestedLifetimeCount = 9;
  auto resp = run(&UaServices::modifySubscription, m);
  EXPECT_EQ(resp.revisedPublishingInterval, 500);
  EXPECT_EQ(hooks_.rates, std::vector<uint32_t>{500});
  m.subscriptionId = 777;
  EXPECT_EQ(run(&UaServices::modifySubscription, m).responseHeader.serviceResult,
            StatusCode(Status::BadSubscriptionIdInvalid));
}

TEST_F(SubscriptionServices, subscriptionWithoutPublishRequests_expires_andSaysSo) {
  addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe(100, 1, 3);
  monitor(sub, "A", 1);
  for (int i = 0; i < 3; ++i) advance(100);
  EXPECT_EQ(services_->subscriptionCount(), 0u);
  EXPECT_EQ(hooks_.activations.back(), (std::pair<std::string, bool>{"A", false}));
  const uint32_t p = publish();
  ASSERT_TRUE(answered(p));
  auto r = response<PublishResponse>(p);
  EXPECT_EQ(r.subscriptionId, sub);
  StatusChangeNotification scn;
  ASSERT_EQ(r.notificationMessage.notificationData.size(), 1u);
  ASSERT_TRUE(fromExtensionObject(r.notificationMessage.notificationData[0], scn));
  EXPECT_EQ(scn.status, StatusCode(Status::BadTimeout));
  EXPECT_EQ(response<PublishResponse>(publish()).responseHeader.serviceResult,
            StatusCode(Status::BadNoSubscription));
}

TEST_F(SubscriptionServices, republish_andAcknowledgements) {
  DeviceTag* a = addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe(100);
  monitor(sub, "A", 1);
  store(a, 9);
  const uint32_t p = publish();
  advance(100);
  auto r = response<PublishResponse>(p);
  const uint32_t seq = r.notificationMessage.sequenceNumber;
  EXPECT_EQ(r.availableSequenceNumbers, std::vector<uint32_t>{seq});
  RepublishRequest rp;
  rp.subscriptionId = sub;
  rp.retransmitSequenceNumber = seq;
  auto again = run(&UaServices::republish, rp);
  EXPECT_EQ(again.notificationMessage.sequenceNumber, seq);
  EXPECT_EQ(again.notificationMessage.notificationData.size(), 1u);
  const uint32_t ack = publish({{sub, seq}, {sub, seq + 50}, {999, 1}});
  store(a, 10);
  advance(100);
  EXPECT_EQ(response<PublishResponse>(ack).results,
            (std::vector<StatusCode>{Status::Good, Status::BadSequenceNumberUnknown,
                                     Status::BadSubscriptionIdInvalid}));
  EXPECT_EQ(run(&UaServices::republish, rp).responseHeader.serviceResult,
            StatusCode(Status::BadMessageNotAvailable));
}

TEST_F(SubscriptionServices, publishQueue_isBounded_andRequestsTimeOut) {
  addTag("A", VT_I2);
  ServiceLimits limits;
  limits.maxPublishRequestsPerSession = 2;
  build(limits);
  subscribe(1000, 100, 300);
  const uint32_t p1 = publish();
  publish();
  publish();
  ASSERT_TRUE(answered(p1));
  EXPECT_EQ(response<PublishResponse>(p1).responseHeader.serviceResult,
            StatusCode(Status::BadTooManyPublishRequests));
  PublishRequest pr;
  const uint32_t timed = call(&UaServices::publish, pr, nullptr, 50);
  advance(40);
  EXPECT_FALSE(answered(timed));
  advance(20);
  ASSERT_TRUE(answered(timed));
  EXPECT_EQ(response<PublishResponse>(timed).responseHeader.serviceResult, StatusCode(Status::BadTimeout));
}

TEST_F(SubscriptionServices, monitoredItemArguments_areChecked) {
  addTag("A", VT_I2);
  addTag("W", VT_I2, 0, OPC_WRITEABLE);
  ServiceLimits limits;
  limits.maxMonitoredItemsPerCall = 2;
  build(limits);
  const uint32_t sub = subscribe();
  EXPECT_EQ(monitor(sub, "Missing", 1).statusCode, StatusCode(Status::BadNodeIdUnknown));
  EXPECT_EQ(monitor(sub, "W", 1).statusCode, StatusCode(Status::BadNotReadable));
  EXPECT_EQ(monitor(sub, "A", 1, 1).revisedSamplingInterval, limits.minSamplingIntervalMs);
  CreateMonitoredItemsRequest r;
  r.subscriptionId = sub;
  EXPECT_EQ(run(&UaServices::createMonitoredItems, r).responseHeader.serviceResult,
            StatusCode(Status::BadNothingToDo));
  r.itemsToCreate.resize(3);
  EXPECT_EQ(run(&UaServices::createMonitoredItems, r).responseHeader.serviceResult,
            StatusCode(Status::BadTooManyOperations));
  r.subscriptionId = 4242;
  EXPECT_EQ(run(&UaServices::createMonitoredItems, r).responseHeader.serviceResult,
            StatusCode(Status::BadSubscriptionIdInvalid));
  // A filter the server cannot honour is refused, not ignored.
  CreateMonitoredItemsRequest f;
  f.subscriptionId = sub;
  MonitoredItemCreateRequest c;
  c.itemToMonitor = valueOf("A");
  DataChangeFilter pct;
  pct.deadbandType = static_cast<uint32_t>(DeadbandType::Percent);
  pct.deadbandValue = 5;
  c.requestedParameters.filter = toExtensionObject(pct);
  f.itemsToCreate = {c};
  EXPECT_EQ(run(&UaServices::createMonitoredItems, f).results.at(0).statusCode,
            StatusCode(Status::BadMonitoredItemFilterUnsupported));
}

TEST_F(SubscriptionServices, absoluteDeadband_suppressesSmallChanges) {
  DeviceTag* a = addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe(100);
  CreateMonitoredItemsRequest r;
  r.subscriptionId = sub;
  MonitoredItemCreateRequest c;
  c.itemToMonitor = valueOf("A");
  c.requestedParameters.clientHandle = 3;
  c.requestedParameters.samplingInterval = 100;
  DataChangeFilter db;
  db.deadbandType = static_cast<uint32_t>(DeadbandType::Absolute);
  db.deadbandValue = 5;
  c.requestedParameters.filter = toExtensionObject(db);
  r.itemsToCreate = {c};
  ASSERT_TRUE(run(&UaServices::createMonitoredItems, r).results.at(0).statusCode.isGood());
  store(a, 100);
  publish();
  advance(100);
  store(a, 103);  // within the deadband
  const uint32_t p = publish();
  advance(100);
  EXPECT_FALSE(answered(p));
  store(a, 110);
  advance(100);
  ASSERT_TRUE(answered(p));
  EXPECT_EQ(*changes(response<PublishResponse>(p))[3].value->get<int16_t>(), 110);
}

TEST_F(SubscriptionServices, serverState_changeIsNotified_whenShutdownBegins) {
  build();
  const uint32_t sub = subscribe(100);
  CreateMonitoredItemsRequest r;
  r.subscriptionId = sub;
  MonitoredItemCreateRequest c;
  c.itemToMonitor.nodeId = NodeId(0, Id::Server_ServerStatus_State);
  c.requestedParameters.clientHandle = 5;
  c.requestedParameters.samplingInterval = 100;
  r.itemsToCreate = {c};
  run(&UaServices::createMonitoredItems, r);
  publish();
  advance(100);
  const uint32_t p = publish();
  services_->shutdownStarted("stopping", 1);
  advance(100);
  advance(100);
  ASSERT_TRUE(answered(p));
  EXPECT_EQ(*changes(response<PublishResponse>(p))[5].value->get<int32_t>(),
            static_cast<int32_t>(ServerState::Shutdown));
}

TEST_F(SubscriptionServices, manyChanges_comeInSeveralMessages_withMoreNotifications) {
  DeviceTag* a = addTag("A", VT_I2);
  DeviceTag* b = addTag("B", VT_I2);
  DeviceTag* c = addTag("C", VT_I2);
  build();
  CreateSubscriptionRequest r;
  r.requestedPublishingInterval = 100;
  r.requestedMaxKeepAliveCount = 3;
  r.requestedLifetimeCount = 30;
  r.maxNotificationsPerPublish = 2;
  const uint32_t sub = run(&UaServices::createSubscription, r).subscriptionId;
  monitor(sub, "A", 1);
  monitor(sub, "B", 2, 50);  // a second sampling group: the limit runs across groups
  monitor(sub, "C", 3);
  store(a, 1);
  store(b, 2);
  store(c, 3);
  const uint32_t p1 = publish();
  advance(100);
  auto first = response<PublishResponse>(p1);
  EXPECT_TRUE(first.moreNotifications);
  EXPECT_EQ(changes(first).size(), 2u);
  // The rest goes out as soon as the next request arrives, without waiting for the timer.
  const uint32_t p2 = publish();
  ASSERT_TRUE(answered(p2));
  auto second = response<PublishResponse>(p2);
  EXPECT_FALSE(second.moreNotifications);
  EXPECT_EQ(changes(second).size(), 1u);
  auto all = changes(first);
  all.merge(changes(second));
  ASSERT_EQ(all.size(), 3u);  // each value once, none lost between the messages
  for (uint32_t h : {1u, 2u, 3u}) EXPECT_EQ(*all[h].value->get<int16_t>(), static_cast<int16_t>(h));
}

TEST_F(SubscriptionServices, samplingMode_queuesQuietly_untilReporting) {
  DeviceTag* a = addTag("A", VT_I2);
  build();
  const uint32_t sub = subscribe(100);
  const uint32_t id = monitor(sub, "A", 1, 100, MonitoringMode::Sampling).monitoredItemId;
  EXPECT_EQ(hooks_.activations.back(), (std::pair<std::string, bool>{"A", true}));  // polled all the same
  store(a, 8);
  const uint32_t p = publish();
  advance(100);
  ASSERT_TRUE(answered(p));  // the first cycle's keep-alive
  EXPECT_TRUE(changes(response<PublishResponse>(p)).empty());
  SetMonitoringModeRequest m;
  m.subscriptionId = sub;
  m.monitoringMode = MonitoringMode::Reporting;
  m.monitoredItemIds = {id};
  run(&UaServices::setMonitoringMode, m);
  const uint32_t q = publish();
  advance(100);
  EXPECT_EQ(*changes(response<PublishResponse>(q))[1].value->get<int16_t>(), 8);
}

TEST_F(SubscriptionServices, otherSessions_cannotTouchASubscription) {
  build();
  const uint32_t sub = subscribe();
  auto other = newSession();
  DeleteSubscriptionsRequest d;
  d.subscriptionIds = {sub};
  EXPECT_EQ(run(&UaServices::deleteSubscriptions, d, other).results.at(0),
            StatusCode(Status::BadSubscriptionIdInvalid));
  EXPECT_EQ(run(&UaServices::deleteSubscriptions, d).results.at(0), StatusCode(Status::Good));
  services_->sessionClosed(*other);
}

}  // namespace
}  // namespace zentarc::ua::test
