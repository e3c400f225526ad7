// Groups and items: hook order, real changes only, removal deactivates, the creator is used.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/toolkit/SODaSCreator.h"
#include "server/toolkit/SODaSServer.h"

namespace {

std::vector<std::string>* gLog = nullptr;

class LoggingGroup : public SODaSGroupDefault {
 protected:
  void onSetUpdateRate(std::uint32_t newRate) override {
    gLog->push_back("rate " + std::to_string(getUpdateRate()) + "->" + std::to_string(newRate));
  }
};

class LoggingItem : public SODaSItemDefault {
 protected:
  void onSetActive(bool active) override {
    gLog->push_back(getName() + (active ? " on" : " off") + (isActive() == active ? " (stale)" : ""));
  }
};

class LoggingCreator : public SODaSCreator {
 public:
  SODaSGroup* createGroup(SODaSServer*) override { return new LoggingGroup(); }
  SODaSItem* createItem(SODaSGroup*, SODaSTag*) override { return new LoggingItem(); }
};

class GroupItemTest : public ::testing::Test {
 protected:
  void SetUp() override { gLog = &log; }
  void TearDown() override { gLog = nullptr; }
  SOCmnPointer<SODaSTag> tag(const char* name) {
    SOCmnPointer<SODaSTag> t(new SODaSTag());
    t->setName(name);
    return t;
  }
  std::vector<std::string> log;
};

}  // namespace

TEST_F(GroupItemTest, rateHookSeesTheOldRateAndItemsHookOnlyRealChanges) {
  SOCmnPointer<SODaSServer> server(new SODaSServer(SOCmnPointer<SODaSCreator>(new LoggingCreator())));
  SOCmnPointer<SODaSGroup> group = server->addGroup("g", 1000);
  EXPECT_EQ(group->getUpdateRate(), 1000u);
  EXPECT_TRUE(log.empty());  // the first rate is no change

  SOCmnPointer<SODaSItem> a = group->addItem(tag("A"), true);
  SOCmnPointer<SODaSItem> b = group->addItem(tag("B"));
  EXPECT_EQ(group->getLeafList().getCount(), 2u);
  EXPECT_EQ(a->getParentBranch().get(), group.get());
  EXPECT_EQ(a->getItemTag()->getName(), "A");
  a->setActive(true);   // already active: no hook
  b->setActive(false);  // already inactive: no hook
  group->setUpdateRate(500);
  EXPECT_EQ(group->getUpdateRate(), 500u);
  b->setActive(true);
  EXPECT_EQ(log, (std::vector<std::string>{"A on", "rate 1000->500", "B on"}));
}

TEST_F(GroupItemTest, removingItemsAndGroupsDeactivatesFirst) {
  SOCmnPointer<SODaSServer> server(new SODaSServer(SOCmnPointer<SODaSCreator>(new LoggingCreator())));
  SOCmnPointer<SODaSGroup> group = server->addGroup("g", 100);
  SOCmnPointer<SODaSItem> a = group->addItem(tag("A"), true);
  group->addItem(tag("B"), false);
  group->addItem(tag("C"), true);
  EXPECT_TRUE(group->removeItem(a.get()));
  EXPECT_FALSE(group->removeItem(a.get()));  // already gone
  EXPECT_FALSE(a->isActive());
  a->setActive(true);  // a stale client reference cannot bring it back
  EXPECT_FALSE(a->isActive());
  EXPECT_TRUE(a->isRemoved());
  EXPECT_TRUE(server->removeGroup(group.get()));
  EXPECT_EQ(group->getLeafList().getCount(), 0u);
  EXPECT_EQ(server->getGroupList().getCount(), 0u);
  EXPECT_EQ(log, (std::vector<std::string>{"A on", "C on", "A off", "C off"}));
  EXPECT_EQ(group->getRefCount(), 2);  // ours and a's: the removed items let go of the rest
}

TEST_F(GroupItemTest, defaultCreatorMakesDefaultObjects) {
  SOCmnPointer<SODaSServer> server(new SODaSServer(SOCmnPointer<SODaSCreator>(new SODaSCreator())));
  SOCmnPointer<SODaSGroup> group = server->addGroup("g", 250);
  SOCmnPointer<SODaSItem> item = group->addItem(tag("X"), true);
  EXPECT_NE(dynamic_cast<SODaSGroupDefault*>(group.get()), nullptr);
  EXPECT_NE(dynamic_cast<SODaSItemDefault*>(item.get()), nullptr);
  EXPECT_TRUE(item->isActive());
  EXPECT_FALSE(group->addItem(SOCmnPointer<SODaSTag>()));  // no tag, no item
}

TEST_F(GroupItemTest, removingManyItems_deactivatesEachOnce_andOnlyThisGroupsLiveOnes) {
  SOCmnPointer<SODaSServer> server(new SODaSServer(SOCmnPointer<SODaSCreator>(new LoggingCreator())));
  SOCmnPointer<SODaSGroup> group = server->addGroup("g", 100);
  SOCmnPointer<SODaSGroup> other = server->addGroup("h", 100);
  std::vector<SOCmnPointer<SODaSItem>> items;
  for (const char* n : {"A", "B", "C", "D"}) items.push_back(group->addItem(tag(n), true));
  SOCmnPointer<SODaSItem> foreign = other->addItem(tag("X"), true);
  log.clear();
  // B named twice, an item of another group, and a null are passed over.
  EXPECT_EQ(group->removeItems({items[1].get(), items[3].get(), items[1].get(), foreign.get(), nullptr}), 2u);
  EXPECT_EQ(log, (std::vector<std::string>{"B off", "D off"}));
  EXPECT_TRUE(foreign->isActive());
  EXPECT_EQ(group->getLeafList().getCount(), 2u);
  EXPECT_EQ(group->removeItems({items[1].get()}), 0u);  // already gone
  EXPECT_TRUE(items[1]->isRemoved());
}

TEST_F(GroupItemTest, removingSomeItems_takesAGroupApartInSteps) {
  SOCmnPointer<SODaSServer> server(new SODaSServer(SOCmnPointer<SODaSCreator>(new LoggingCreator())));
  SOCmnPointer<SODaSGroup> group = server->addGroup("g", 100);
  for (int i = 0; i < 5; ++i) group->addItem(tag(("T" + std::to_string(i)).c_str()), true);
  log.clear();
  EXPECT_EQ(group->removeSomeItems(2), 2u);
  EXPECT_EQ(log, (std::vector<std::string>{"T0 off", "T1 off"}));
  EXPECT_EQ(group->removeSomeItems(10), 3u);
  EXPECT_EQ(group->removeSomeItems(10), 0u);
  EXPECT_EQ(log.size(), 5u);
  // A group taken out of its server keeps its items until its holder takes them apart.
  SOCmnPointer<SODaSGroup> kept = server->addGroup("k", 100);
  SOCmnPointer<SODaSItem> item = kept->addItem(tag("K"), true);
  EXPECT_TRUE(server->detachGroup(kept.get()));
  EXPECT_FALSE(server->detachGroup(kept.get()));
  server->removeAllGroups();
  EXPECT_TRUE(item->isActive());
  kept->removeAllItems();
  EXPECT_FALSE(item->isActive());
}

// 40,000 items took seconds when each removal scanned the whole list.
TEST_F(GroupItemTest, removingAllOfTensOfThousandsOfItems_deactivatesEveryOne) {
  SOCmnPointer<SODaSServer> server(new SODaSServer(SOCmnPointer<SODaSCreator>(new LoggingCreator())));
  SOCmnPointer<SODaSGroup> group = server->addGroup("g", 100);
  SOCmnPointer<SODaSTag> t = tag("T");
  for (int i = 0; i < 40000; ++i) group->addItem(t, true);
  log.clear();
  EXPECT_TRUE(server->removeGroup(group.get()));
  EXPECT_EQ(log.size(), 40000u);
  EXPECT_EQ(group->getLeafList().getCount(), 0u);
}
