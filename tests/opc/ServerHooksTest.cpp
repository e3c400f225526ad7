// The server's tag, group and item hooks: what they put into their PLC's queues.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "server/opc/PlcTag.h"
#include "server/opc/ServerCreator.h"
#include "server/opc/ServerGroup.h"
#include "server/opc/ServerItem.h"
#include "server/opc/ServerQueues.h"
#include "server/opc/TagDevice.h"
#include "server/toolkit/SODaSServer.h"

using namespace zentarc;

namespace {

class ServerHooksTest : public ::testing::Test {
 protected:
  ServerHooksTest()
      : queues(std::make_shared<ServerQueues>()),
        plc(new TagDevice("PLC1", 0)),
        server(new SODaSServer(SOCmnPointer<SODaSCreator>(new ServerCreator(queues)))) {}

  ~ServerHooksTest() override {
    // What stopping the polling does: the records go (they hold their tags, which hold the
    // device that holds the records), so nothing is left in a cycle.
    plc->failQueued();
  }

  SOCmnPointer<PlcTag> tag(const char* name, std::uint16_t address, VARTYPE vt = VT_I2, std::uint16_t count = 0,
                           std::uint32_t access = 3) {
    return SOCmnPointer<PlcTag>(new PlcTag(name, access, vt, "comment", address, 0, count, plc.get(), queues));
  }

  std::shared_ptr<ServerQueues> queues;
  SOCmnPointer<TagDevice> plc;
  SOCmnPointer<SODaSServer> server;
};

}  // namespace

TEST_F(ServerHooksTest, tagIsBuiltWithItsCacheAndDescription) {
  const long plcRefs = plc->getRefCount();
  {
    SOCmnPointer<PlcTag> a = tag("A", 4, VT_ARRAY | VT_UI2, 6, 1);
    EXPECT_EQ(plc->getRefCount(), plcRefs + 1);
    EXPECT_EQ(a->getName(), "A");
    EXPECT_EQ(a->getAccessRights(), 1u);
    EXPECT_EQ(a->getDeviceIOMode(), 1u);
    EXPECT_EQ(a->getNativeDatatype(), VT_ARRAY | VT_UI2);
    EXPECT_EQ(a->getDescription(), "comment");
    EXPECT_EQ(a->unscheduled, 1u);
    EXPECT_EQ(a->pollBlock, nullptr);
    EXPECT_EQ(a->listRow, -1);
    EXPECT_TRUE(a->activeItems.empty());
    EXPECT_EQ(a->device(), plc.get());
    const SODaSCacheSnapshot s = a->getCache()->getSnapshot();
    EXPECT_EQ(s.quality, 0xC0);
    EXPECT_EQ(s.value, SOCmnVariant::zeroOf(VT_ARRAY | VT_UI2, 6));
    EXPECT_TRUE(s.waitingForInitialData);
    EXPECT_EQ(tag("S", 0, VT_BSTR, 5)->getCache()->getValue().bstrVal(), std::u16string(5, u'\0'));
    EXPECT_EQ(tag("F", 0, VT_R4)->getCache()->getValue(), SOCmnVariant::fromR4(0));
  }
  EXPECT_EQ(plc->getRefCount(), plcRefs);  // released with the tag
}

TEST_F(ServerHooksTest, twoActivationsOnOneTagQueueTwoRecords) {
  SOCmnPointer<SODaSGroup> g1 = server->addGroup("g1", 1000);
  SOCmnPointer<SODaSGroup> g2 = server->addGroup("g2", 500);
  EXPECT_NE(dynamic_cast<ServerGroup*>(g1.get()), nullptr);
  SOCmnPointer<PlcTag> t = tag("T", 7);
  SOCmnPointer<SODaSItem> i1 = g1->addItem(t, true);
  SOCmnPointer<SODaSItem> i2 = g2->addItem(t, true);
  EXPECT_NE(dynamic_cast<ServerItem*>(i1.get()), nullptr);
  ASSERT_EQ(plc->queues.activationQueue.size(), 2u);
  EXPECT_EQ(t->activeItems.size(), 2u);
  const ActivationRecord& r1 = *plc->queues.activationQueue[0];
  EXPECT_EQ(r1.active, 1u);
  EXPECT_EQ(r1.rateChanged, 0u);
  EXPECT_EQ(r1.updateRate, 1000u);
  EXPECT_EQ(r1.tag, t.get());
  EXPECT_EQ(plc->queues.activationQueue[1]->updateRate, 500u);

  i1->setActive(false);
  ASSERT_EQ(plc->queues.activationQueue.size(), 3u);
  const ActivationRecord& off = *plc->queues.activationQueue[2];
  EXPECT_EQ(off.active, 0u);
  EXPECT_EQ(off.rateChanged, 0u);
  EXPECT_EQ(off.updateRate, 0u);
  EXPECT_EQ(off.tag, t.get());
  ASSERT_EQ(t->activeItems.size(), 1u);
  EXPECT_EQ(t->activeItems[0].item, i2.get());

  // Removing an active item deactivates it, so the tag never keeps a dead item.
  g2->removeItem(i2.get());
  EXPECT_TRUE(t->activeItems.empty());
  EXPECT_EQ(plc->queues.activationQueue.size(), 4u);
  i1->setActive(false);  // no change: nothing queued
  EXPECT_EQ(plc->queues.activationQueue.size(), 4u);
}

// Thousands of items on one tag leave without a scan of the list each; whatever the order,
// the list holds exactly the items still active.
TEST_F(ServerHooksTest, manyItemsOnOneTag_leaveInAnyOrder_andTheRestStayListed) {
  SOCmnPointer<SODaSGroup> g = server->addGroup("g", 100);
  SOCmnPointer<PlcTag> t = tag("T", 3);
  std::vector<SOCmnPointer<SODaSItem>> items;
  for (int i = 0; i < 1000; ++i) items.push_back(g->addItem(t, true));
  std::set<SODaSItem*> active;
  for (auto& i : items) active.insert(i.get());
  // Every third from the back, then every other from the front.
  for (int i = 999; i >= 0; i -= 3) {
    items[i]->setActive(false);
    active.erase(items[i].get());
  }
  for (int i = 0; i < 1000; i += 2) {
    items[i]->setActive(false);
    active.erase(items[i].get());
  }
  std::set<SODaSItem*> listed;
  for (const ActiveItem& a : t->activeItems) listed.insert(a.item);
  EXPECT_EQ(listed, active);
  EXPECT_EQ(t->activeItems.size(), active.size());
  items[1]->setActive(true);  // back again: listed once
  EXPECT_EQ(std::count_if(t->activeItems.begin(), t->activeItems.end(),
                          [&](const ActiveItem& a) { return a.item == items[1].get(); }),
            1);
  g->removeAllItems();
  EXPECT_TRUE(t->activeItems.empty());
}

TEST_F(ServerHooksTest, rateChangeQueuesOneRecordPerItemActiveOrNot) {
  SOCmnPointer<SODaSGroup> g = server->addGroup("g", 1000);
  SOCmnPointer<PlcTag> a = tag("A", 1), b = tag("B", 2), c = tag("C", 3);
  g->addItem(a, true);
  g->addItem(b, false);
  g->addItem(c, true);
  plc->queues.activationQueue.clear();
  g->setUpdateRate(1000);
  EXPECT_TRUE(plc->queues.activationQueue.empty());
  g->setUpdateRate(250);
  EXPECT_EQ(g->getUpdateRate(), 250u);
  ASSERT_EQ(plc->queues.activationQueue.size(), 3u);
  const PlcTag* expected[] = {a.get(), b.get(), c.get()};
  for (std::size_t i = 0; i < 3; ++i) {
    const ActivationRecord& r = *plc->queues.activationQueue[i];
    EXPECT_EQ(r.active, 0u);
    EXPECT_EQ(r.rateChanged, 1u);
    EXPECT_EQ(r.updateRate, 250u);
    EXPECT_EQ(r.tag, expected[i]);
  }
}

TEST_F(ServerHooksTest, aTagKnowsTheRateOfEachActiveItem_soASlowerGroupCannotHideAFasterOne) {
  SOCmnPointer<SODaSGroup> fast = server->addGroup("fast", 100);
  SOCmnPointer<SODaSGroup> slow = server->addGroup("slow", 1000);
  SOCmnPointer<PlcTag> t = tag("T", 1);
  EXPECT_EQ(t->smallestActiveRate(), 0u);
  fast->addItem(t, true);
  slow->addItem(t, true);
  EXPECT_EQ(t->smallestActiveRate(), 100u);
  slow->setUpdateRate(50);
  EXPECT_EQ(t->smallestActiveRate(), 50u);
  slow->setUpdateRate(2000);
  EXPECT_EQ(t->smallestActiveRate(), 100u);
  fast->setUpdateRate(3000);
  EXPECT_EQ(t->smallestActiveRate(), 2000u);
}

TEST_F(ServerHooksTest, activationsSortByAddressKeepingQueueOrderForEqualOnes) {
  SOCmnPointer<PlcTag> t30 = tag("T30", 30), t10 = tag("T10", 10), t20 = tag("T20", 20), u10 = tag("U10", 10);
  for (PlcTag* t : {t30.get(), t10.get(), t20.get(), u10.get()}) {
    auto r = std::make_unique<ActivationRecord>();
    r->tag = t;
    plc->queues.activationQueue.push_back(std::move(r));
  }
  sortActivations(plc->queues.activationQueue);
  std::vector<std::string> order;
  for (const auto& r : plc->queues.activationQueue) order.push_back(r->tag->getName());
  EXPECT_EQ(order, (std::vector<std::string>{"T10", "U10", "T20", "T30"}));
}

TEST_F(ServerHooksTest, deviceReadsAndWritesAreQueuedOtherReadsCompleteAtOnce) {
  SOCmnPointer<PlcTag> t = tag("T", 5);
  for (std::uint8_t kind : {SODASREQUEST_TYPE_SYNC_DEVICE, SODASREQUEST_TYPE_ASYNC_DEVICE}) {
    SOCmnPointer<SODaSRequest> r = t->submitRead(kind);
    EXPECT_TRUE(r->isPending());
    EXPECT_FALSE(r->isCompleted());
  }
  ASSERT_EQ(plc->queues.readQueue.size(), 2u);
  EXPECT_EQ(plc->queues.readQueue[0]->tag.get(), t.get());
  EXPECT_EQ(plc->queues.readQueue[1]->request->getType(), SODASREQUEST_TYPE_ASYNC_DEVICE);

  bool called = false;
  SOCmnPointer<SODaSRequest> cacheRead =
      t->submitRead(SODASREQUEST_TYPE_ASYNC_CACHE, [&](SODaSRequest&) { called = true; });
  EXPECT_TRUE(cacheRead->isCompleted());
  EXPECT_EQ(cacheRead->getResult(), S_OK);
  EXPECT_TRUE(called);
  EXPECT_EQ(plc->queues.readQueue.size(), 2u);

  SOCmnPointer<SODaSRequest> w = t->submitWrite(SOCmnVariant::fromI2(9));
  EXPECT_TRUE(w->isPending());
  ASSERT_EQ(plc->queues.writeQueue.size(), 1u);
  EXPECT_EQ(plc->queues.writeQueue[0]->request.get(), w.get());
  EXPECT_EQ(plc->queues.writeQueue[0]->request->getWriteValue().iVal(), 9);

  SOCmnPointer<SODaSRequest> odd(new SODaSRequest(7, 0, t));
  t->handleRequest(odd.get());  // an unknown operation is left alone
  EXPECT_FALSE(odd->isCompleted());
  EXPECT_EQ(plc->queues.readQueue.size() + plc->queues.writeQueue.size(), 3u);
  odd->complete(E_FAIL);
}

TEST_F(ServerHooksTest, aStringLongerThanTheTagIsRefusedWholeAndNeverQueued) {
  SOCmnPointer<PlcTag> t = tag("Text", 5, VT_BSTR, 5);
  SOCmnPointer<SODaSRequest> tooLong = t->submitWrite(SOCmnVariant::fromBstr(u"abcdefgh"));
  EXPECT_TRUE(tooLong->isCompleted());
  EXPECT_EQ(tooLong->getResult(), OPC_E_RANGE);
  EXPECT_TRUE(plc->queues.writeQueue.empty());
  SOCmnPointer<SODaSRequest> fits = t->submitWrite(SOCmnVariant::fromBstr(u"abcde"));
  EXPECT_TRUE(fits->isPending());
  EXPECT_EQ(plc->queues.writeQueue.size(), 1u);
}

TEST_F(ServerHooksTest, completingAQueuedRequestAnswersTheRequester) {
  SOCmnPointer<PlcTag> t = tag("T", 5);
  HRESULT result = S_OK;
  int calls = 0;
  t->submitWrite(SOCmnVariant::fromI2(1), [&](SODaSRequest& r) {
    ++calls;
    result = r.getResult();
  });
  ASSERT_EQ(plc->queues.writeQueue.size(), 1u);
  {
    std::lock_guard lock(queues->queueLock);
    plc->queues.writeQueue[0]->request->complete(E_FAIL, true, 0x18, false, true);
  }
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(result, E_FAIL);
  plc->queues.writeQueue.clear();  // the record goes; already completed, no second answer
  EXPECT_EQ(calls, 1);
}

TEST_F(ServerHooksTest, requestsLeftWhenPollingStopsAndAfterItFailAtOnce) {
  SOCmnPointer<PlcTag> t = tag("T", 5);
  SOCmnPointer<SODaSGroup> g = server->addGroup("g", 100);
  SOCmnPointer<SODaSItem> item = g->addItem(t, false);
  int answered = 0;
  t->submitRead(SODASREQUEST_TYPE_ASYNC_DEVICE, [&](SODaSRequest& r) {
    ++answered;
    EXPECT_EQ(r.getResult(), E_FAIL);
  });
  {
    // What stopping the polling does: nothing is taken any more, nothing is left behind.
    std::lock_guard lock(queues->queueLock);
    queues->accepting = false;
    plc->failQueued();
  }
  EXPECT_EQ(answered, 1);  // its requester heard of it
  EXPECT_TRUE(t->submitWrite(SOCmnVariant::fromI2(1))->isCompleted());
  item->setActive(true);
  EXPECT_TRUE(plc->queues.empty());

  queues.reset();  // and once the queues are gone
  SOCmnPointer<SODaSRequest> w = t->submitWrite(SOCmnVariant::fromI2(1));
  EXPECT_TRUE(w->isCompleted());
  EXPECT_EQ(w->getResult(), E_FAIL);
  SOCmnPointer<SODaSRequest> r = t->submitRead(SODASREQUEST_TYPE_SYNC_DEVICE);
  EXPECT_EQ(r->getResult(), E_FAIL);
  item->setActive(true);  // nothing to queue into, and no crash
  g->setUpdateRate(200);
  EXPECT_EQ(g->getUpdateRate(), 200u);
}

TEST_F(ServerHooksTest, deviceRequestsBeyondTheBoundFailAtOnce) {
  SOCmnPointer<PlcTag> t = tag("T", 5);
  std::vector<SOCmnPointer<SODaSRequest>> waiting;
  waiting.reserve(kMaxQueuedRequests);
  for (std::size_t i = 0; i < kMaxQueuedRequests; ++i) waiting.push_back(t->submitRead());
  EXPECT_FALSE(waiting.back()->isCompleted());
  // Nothing takes them (the PLC's worker is stuck): the next one is answered at once.
  SOCmnPointer<SODaSRequest> refused = t->submitWrite(SOCmnVariant::fromI2(1));
  EXPECT_TRUE(refused->isCompleted());
  EXPECT_EQ(refused->getResult(), E_FAIL);
  EXPECT_EQ(plc->queues.readQueue.size() + plc->queues.writeQueue.size(), kMaxQueuedRequests);
  {
    // Answered and dropped: room again.
    std::lock_guard lock(queues->queueLock);
    plc->failQueued();
  }
  EXPECT_EQ(queues->queuedRequests.load(), 0u);
  EXPECT_FALSE(t->submitRead()->isCompleted());
}
