// Caches (value, quality, timestamp, counters, initial-data flag) and requests on tags.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "server/toolkit/SODaSTag.h"

namespace {

// Records what reaches handleRequest and leaves the request pending.
class HoldingTag : public SODaSTag {
 public:
  void handleRequest(SODaSRequest* request) override {
    ++handled;
    request->markPending();
    held = SOCmnPointer<SODaSRequest>::share(request);
  }
  int handled = 0;
  SOCmnPointer<SODaSRequest> held;
};

}  // namespace

TEST(SODaSCache, countsUpdatesAndRealChangesAndStampsEach) {
  SOCmnPointer<SODaSTag> tag(new SODaSTag());
  tag->setNativeDatatype(VT_I2);
  SOCmnPointer<SODaSCache> cache = tag->getCache();
  EXPECT_EQ(cache->getValue(), SOCmnVariant::fromI2(0));  // the type's zero from the start
  EXPECT_TRUE(cache->isWaitingForInitialData());

  const auto updates = cache->getUpdateCount();
  const auto changes = cache->getChangeCount();
  const auto before = cache->getTimeStamp();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  cache->setValue(SOCmnVariant::fromI2(0), SODASCACHE_FLAG_DEVICE_VALUE);
  EXPECT_FALSE(cache->isWaitingForInitialData());  // a device value, even the same zero
  EXPECT_GT(cache->getTimeStamp(), before);
  EXPECT_EQ(cache->getUpdateCount(), updates + 1);
  EXPECT_EQ(cache->getChangeCount(), changes + 1);

  cache->setValue(SOCmnVariant::fromI2(0));
  EXPECT_EQ(cache->getUpdateCount(), updates + 2);
  EXPECT_EQ(cache->getChangeCount(), changes + 1);  // same value: no change
  cache->setQuality(OPC_QUALITY_COMM_FAILURE);
  EXPECT_EQ(cache->getChangeCount(), changes + 2);
  cache->setValueQuality(SOCmnVariant::fromI2(7), OPC_QUALITY_GOOD);
  const SODaSCacheSnapshot snap = cache->getSnapshot();
  EXPECT_EQ(snap.value.iVal(), 7);
  EXPECT_EQ(snap.quality, OPC_QUALITY_GOOD);
  EXPECT_EQ(snap.changeCount, changes + 3);
  EXPECT_FALSE(snap.waitingForInitialData);
}

TEST(SODaSCache, aDeviceValueTakesItsReadTimeAndCountsOnlyRealChanges) {
  SOCmnPointer<SODaSTag> tag(new SODaSTag());
  tag->setNativeDatatype(VT_BSTR);
  SODaSCache& cache = tag->cache();
  const auto updates = cache.getUpdateCount();
  const auto changes = cache.getChangeCount();
  const auto readTime = std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000));

  cache.storeDeviceValue(SOCmnVariant::fromBstr(u"AB"), OPC_QUALITY_GOOD, readTime);
  const SOCmnVariant reader = cache.getValue();  // a client's copy, shares the string
  EXPECT_EQ(cache.getTimeStamp(), readTime);
  EXPECT_FALSE(cache.isWaitingForInitialData());
  EXPECT_EQ(cache.getUpdateCount(), updates + 1);
  EXPECT_EQ(cache.getChangeCount(), changes + 1);

  cache.storeDeviceValue(SOCmnVariant::fromBstr(u"AB"), OPC_QUALITY_GOOD, readTime + std::chrono::seconds(1));
  EXPECT_EQ(cache.getUpdateCount(), updates + 2);
  EXPECT_EQ(cache.getChangeCount(), changes + 1);  // read again, unchanged
  EXPECT_EQ(cache.getTimeStamp(), readTime + std::chrono::seconds(1));

  cache.storeDeviceValue(SOCmnVariant::fromBstr(u"CD"), OPC_QUALITY_GOOD, readTime);
  EXPECT_EQ(cache.getChangeCount(), changes + 2);
  EXPECT_EQ(cache.getValue().bstrVal(), u"CD");
  EXPECT_EQ(reader.bstrVal(), u"AB");  // the copy taken before is untouched
  cache.storeDeviceValue(SOCmnVariant::fromBstr(u"CD"), OPC_QUALITY_COMM_FAILURE, readTime);
  EXPECT_EQ(cache.getChangeCount(), changes + 3);  // quality alone is a change
}

TEST(SODaSRequest, completesOnceAndCallsBackOnce) {
  SOCmnPointer<SODaSTag> tag(new SODaSTag());
  int calls = 0;
  HRESULT seen = 1;
  SOCmnPointer<SODaSRequest> r(new SODaSRequest(SODASREQUEST_OPERATION_WRITE, SODASREQUEST_TYPE_ASYNC_WRITE,
                                                tag, SOCmnVariant::fromI2(3)));
  r->setCompletionCallback([&](SODaSRequest& req) { ++calls; seen = req.getResult(); });
  r->markPending();
  EXPECT_TRUE(r->isPending());
  EXPECT_EQ(r->getWriteValue().iVal(), 3);
  std::thread t([r] { r->complete(E_FAIL, true, OPC_QUALITY_COMM_FAILURE, false, true); });
  EXPECT_TRUE(r->waitForCompletion(5000));
  t.join();
  EXPECT_FALSE(r->complete(S_OK));  // too late: the first completion stands
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen, E_FAIL);
  EXPECT_FALSE(r->isPending());
  EXPECT_TRUE(r->isWriteQualityValid());
  EXPECT_EQ(r->getWriteQuality(), OPC_QUALITY_COMM_FAILURE);
}

TEST(SODaSRequest, droppedUnfinishedStillAnswersItsRequester) {
  HRESULT seen = S_OK;
  {
    SOCmnPointer<SODaSRequest> r(new SODaSRequest(SODASREQUEST_OPERATION_READ, SODASREQUEST_TYPE_ASYNC_DEVICE, {}));
    r->setCompletionCallback([&](SODaSRequest& req) { seen = req.getResult(); });
  }
  EXPECT_EQ(seen, E_FAIL);
}

TEST(SODaSTag, submitChecksAccessRightsBeforeHandleRequest) {
  SOCmnPointer<HoldingTag> tag(new HoldingTag());
  tag->setAccessRights(OPC_READABLE);
  SOCmnPointer<SODaSRequest> w = tag->submitWrite(SOCmnVariant::fromI2(1));
  EXPECT_TRUE(w->isCompleted());
  EXPECT_EQ(w->getResult(), OPC_E_BADRIGHTS);
  EXPECT_EQ(tag->handled, 0);

  SOCmnPointer<SODaSRequest> r = tag->submitRead(SODASREQUEST_TYPE_ASYNC_DEVICE);
  EXPECT_EQ(tag->handled, 1);
  EXPECT_FALSE(r->isCompleted());
  EXPECT_EQ(r->getItemTag().get(), tag.get());
  EXPECT_TRUE(r->isDeviceRead());
  tag->held->complete(S_OK);
  EXPECT_TRUE(r->isCompleted());
  tag->held.reset();  // the tag must not keep its own request alive

  tag->setAccessRights(0);
  EXPECT_EQ(tag->submitRead()->getResult(), OPC_E_BADRIGHTS);
}

TEST(SODaSTag, baseTagWritesIntoItsCacheAndKeepsProperties) {
  SOCmnPointer<SODaSTag> tag(new SODaSTag());
  tag->setName("T");
  tag->setAccessRights(OPC_READABLE | OPC_WRITEABLE);
  tag->setNativeDatatype(VT_UI4);
  SOCmnPointer<SODaSRequest> w = tag->submitWrite(SOCmnVariant::fromUI4(9));
  EXPECT_EQ(w->getResult(), S_OK);
  EXPECT_EQ(tag->getCache()->getValue().ulVal(), 9u);

  SOCmnPointer<SODaSProperty> p(new SODaSProperty(SODAS_PROPERTY_ITEM_DESCRIPTION));
  p->setConstantValue(SOCmnVariant::fromUtf8("Pump \xC3\xA9t\xC3\xA9"));
  tag->addProperty(p);
  EXPECT_EQ(tag->getDescription(), "Pump \xC3\xA9t\xC3\xA9");
  EXPECT_FALSE(tag->getProperty(102));
}
