// The entry: registration through the registrar, serving through the backend, sessions and
// the last-object event, the namespace root.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/toolkit/SODaSEntry.h"

namespace {

class FakeBackend : public SOSrvServingBackend {
 public:
  bool start(SODaSEntry& entry) override {
    calls.push_back("start");
    entryRoot = entry.getNameSpaceRoot().get();
    return startResult;
  }
  void shutdownAllClients(std::string_view reason) override { calls.push_back("shutdown " + std::string(reason)); }
  void terminate() override { calls.push_back("terminate"); }
  bool startResult = true;
  SODaSNameSpaceRoot* entryRoot = nullptr;
  std::vector<std::string> calls;
};

class CountingHandler : public SOSrvEventHandler {
 public:
  void onReleasedOPCObject() override { ++released; }
  void onLastOPCObjectReleased() override { ++last; }
  int released = 0;
  int last = 0;
};

SOCmnPointer<SODaSTag> makeTag(const std::string& name) {
  SOCmnPointer<SODaSTag> t(new SODaSTag());
  t->setName(name);
  return t;
}

}  // namespace

TEST(SODaSEntry, registrationGoesThroughTheRegistrar) {
  SOCmnPointer<SODaSEntry> entry(new SODaSEntry());
  EXPECT_EQ(entry->registerServer(), E_FAIL);  // nothing installed: a failure, not silence
  entry->initialize(1, "{CLSID}", nullptr, 0);
  entry->setRegisterInfo("P.1", "P", "Desc", nullptr);
  entry->setVersionInfo(1, 10, 100);
  entry->setEndpointUrl("opc.tcp://127.0.0.1:4840");
  std::vector<SOSrvRegistrarAction> actions;
  SOSrvRegistrationInfo seen;
  entry->setRegistrar([&](SOSrvRegistrarAction a, const SOSrvRegistrationInfo& info) {
    actions.push_back(a);
    seen = info;
    return S_OK;
  });
  EXPECT_EQ(entry->registerServer(), S_OK);
  EXPECT_EQ(entry->registerCategories(), S_OK);
  EXPECT_EQ(entry->unregisterServer(), S_OK);
  EXPECT_EQ(entry->unregisterCategories(), S_OK);
  EXPECT_EQ(actions, (std::vector<SOSrvRegistrarAction>{
                         SOSrvRegistrarAction::RegisterServer, SOSrvRegistrarAction::RegisterCategories,
                         SOSrvRegistrarAction::UnregisterServer, SOSrvRegistrarAction::UnregisterCategories}));
  EXPECT_EQ(seen.classId, "{CLSID}");
  EXPECT_EQ(seen.progId, "P.1");
  EXPECT_EQ(seen.minorVersion, 10);
  EXPECT_FALSE(seen.executablePath.empty());  // this process's own path
  EXPECT_EQ(seen.endpointUrl, "opc.tcp://127.0.0.1:4840");
}

TEST(SODaSEntry, startShutdownAndTerminateReachTheBackend) {
  SOCmnPointer<SODaSEntry> entry(new SODaSEntry());
  EXPECT_FALSE(entry->start());  // nothing to serve with
  auto backend = std::make_shared<FakeBackend>();
  entry->setServingBackend(backend);
  EXPECT_TRUE(entry->start());
  EXPECT_EQ(backend->entryRoot, entry->getNameSpaceRoot().get());
  EXPECT_EQ(entry->shutdownAllClients("Server shutdown"), S_OK);
  entry->getNameSpaceRoot()->addLeaf(makeTag("T").get());
  entry->terminate();
  entry->terminate();  // once only
  EXPECT_EQ(backend->calls, (std::vector<std::string>{"start", "shutdown Server shutdown", "terminate"}));
  EXPECT_EQ(entry->getNameSpaceRoot()->getTagCount(), 0u);
  EXPECT_FALSE(entry->start());
}

TEST(SODaSEntry, refusedStartIsReported) {
  SOCmnPointer<SODaSEntry> entry(new SODaSEntry());
  auto backend = std::make_shared<FakeBackend>();
  backend->startResult = false;
  entry->setServingBackend(backend);
  EXPECT_FALSE(entry->start());
  EXPECT_FALSE(entry->isStarted());
}

TEST(SODaSEntry, lastReleasedSessionFiresTheEventOnce) {
  SOCmnPointer<SODaSEntry> entry(new SODaSEntry());
  SOCmnPointer<CountingHandler> handler(new CountingHandler());
  entry->setEventHandler(handler);
  entry->setCreator(SOCmnPointer<SODaSCreator>(new SODaSCreator()));
  SOCmnPointer<SODaSServer> s1 = entry->createServerObject("one");
  SOCmnPointer<SODaSServer> s2 = entry->createServerObject("two");
  EXPECT_EQ(entry->getObjectRoot()->getServerCount(), 2u);
  SOCmnPointer<SODaSGroup> g = s1->addGroup("g", 100);
  SOCmnPointer<SODaSItem> item = g->addItem(makeTag("T"), true);
  entry->releaseServerObject(s1.get());
  EXPECT_FALSE(item->isActive());  // its groups went with it
  EXPECT_EQ(handler->last, 0);
  entry->releaseServerObject(s1.get());  // twice: ignored
  entry->releaseServerObject(s2.get());
  EXPECT_EQ(handler->released, 2);
  EXPECT_EQ(handler->last, 1);
  EXPECT_EQ(entry->getObjectRoot()->getServerCount(), 0u);
}

TEST(SODaSNameSpaceRoot, flatLeavesInOrderWithUniqueNames) {
  SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot());
  SOCmnString* d1 = nullptr;
  SOCmnString* d2 = nullptr;
  root->getTreeDelimiter(d1, d2);
  d1->assign(".");
  d2->empty();
  EXPECT_EQ(root->getDelimiter(), ".");
  EXPECT_TRUE(root->addLeaf(makeTag("b").get()));
  EXPECT_TRUE(root->addLeaf(makeTag("a").get()));
  EXPECT_FALSE(root->addLeaf(makeTag("b").get()));
  EXPECT_FALSE(root->addLeaf(makeTag("").get()));
  EXPECT_TRUE(root->addLeaf(makeTag("B").get()));  // names are case-sensitive
  ASSERT_EQ(root->getTagCount(), 3u);
  EXPECT_EQ(root->getTag(0)->getName(), "b");
  EXPECT_EQ(root->getTags()[1]->getName(), "a");
  EXPECT_EQ(root->findTag("a")->getName(), "a");
  EXPECT_FALSE(root->findTag("c"));
  EXPECT_FALSE(root->getTag(3));
}

TEST(SODaSEntry, processWideEntryIsOneObject) {
  SOCmnPointer<SODaSEntry> a = getSODaSEntry();
  SOCmnPointer<SODaSEntry> b = getSODaSEntry();
  EXPECT_EQ(a.get(), b.get());
  EXPECT_GE(a->getRefCount(), 3);
}
