// The OPC UA backend installed on a toolkit entry: sessions become counted server objects,
// the last one fires onLastOPCObjectReleased, a tag is readable, and shutdownAllClients shows
// the notice before the sessions close.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "server/toolkit/SODaSEntry.h"
#include "server/toolkit/ua/NodeIds.h"
#include "server/toolkit/ua/UaClient.h"
#include "server/toolkit/ua/backend/UaServingBackend.h"
#include "tests/support/WaitFor.h"

using namespace zentarc::ua;
using namespace std::chrono_literals;

namespace {

class CountingHandler : public SOSrvEventHandler {
 public:
  void onReleasedOPCObject() override { ++released; }
  void onLastOPCObjectReleased() override { ++last; }
  std::atomic<int> released{0};
  std::atomic<int> last{0};
};

using zentarc::testsupport::waitFor;

struct Served {
  SOCmnPointer<SODaSEntry> entry{new SODaSEntry()};
  SOCmnPointer<CountingHandler> handler{new CountingHandler()};
  std::shared_ptr<UaServingBackend> backend;

  Served(int port, std::chrono::milliseconds grace = 300ms) {
    entry->setCreator(SOCmnPointer<SODaSCreator>(new SODaSCreator()));
    entry->setEventHandler(handler);
    entry->setVendorInfo("Tarvelle");
    entry->setVersionInfo(1, 10, 100);
    entry->setEndpointUrl("opc.tcp://127.0.0.1:" + std::to_string(port));
    SOCmnPointer<SODaSTag> tag(new SODaSTag());
    tag->setName("Pump1.Speed");
    tag->setNativeDatatype(VT_I2);
    tag->setAccessRights(3);
    entry->getNameSpaceRoot()->addLeaf(tag.get());
    UaServingBackend::Options o;
    o.shutdownGrace = grace;
    o.security = ServerSecurity::unsecured();
    backend = std::make_shared<UaServingBackend>(o);
    entry->setServingBackend(backend);
  }
  ~Served() { entry->terminate(); }
};

std::string url(int port) { return "opc.tcp://127.0.0.1:" + std::to_string(port); }

}  // namespace

TEST(UaServingBackend, sessionsAreCountedServerObjects) {
  Served s(28430);
  ASSERT_TRUE(s.entry->start()) << s.backend->errorText();
  UaClient a, b;
  ASSERT_TRUE(a.connect(url(28430)).isGood()) << a.errorText();
  ASSERT_TRUE(b.connect(url(28430)).isGood()) << b.errorText();
  EXPECT_EQ(s.entry->getObjectRoot()->getServerCount(), 2u);
  // The tag is there, with its data type.
  ReadValueId rv;
  rv.nodeId = NodeId(1, String("Pump1.Speed"));
  rv.attributeId = static_cast<uint32_t>(AttributeId::DataType);
  std::vector<DataValue> out;
  ASSERT_TRUE(a.read({rv}, out).isGood());
  ASSERT_TRUE(out[0].value);
  EXPECT_EQ(*out[0].value->get<NodeId>(), NodeId(0, Id::Int16));
  a.disconnect();
  EXPECT_TRUE(waitFor([&] { return s.handler->released == 1; }));
  EXPECT_EQ(s.handler->last, 0);
  b.disconnect();
  EXPECT_TRUE(waitFor([&] { return s.handler->last == 1; }));
  EXPECT_EQ(s.entry->getObjectRoot()->getServerCount(), 0u);
}

TEST(UaServingBackend, shutdownNoticeThenSessionsClose) {
  Served s(28431, 500ms);
  ASSERT_TRUE(s.entry->start());
  UaClient c;
  ASSERT_TRUE(c.connect(url(28431)).isGood());
  std::thread t([&] { s.entry->shutdownAllClients("Server shutdown"); });
  ReadValueId state;
  state.nodeId = NodeId(0, Id::Server_ServerStatus_State);
  bool sawShutdown = waitFor([&] {
    std::vector<DataValue> out;
    if (!c.read({state}, out).isGood() || !out[0].value) return false;
    const int32_t* v = out[0].value->get<int32_t>();
    return v && *v == static_cast<int32_t>(ServerState::Shutdown);
  }, 400ms);
  t.join();
  EXPECT_TRUE(sawShutdown);
  EXPECT_EQ(s.handler->last, 1);
  std::vector<DataValue> out;
  EXPECT_FALSE(c.read({state}, out).isGood());
}

TEST(UaServingBackend, busyPort_failsStartWithTheReason) {
  Served first(28432);
  ASSERT_TRUE(first.entry->start());
  Served second(28432);
  EXPECT_FALSE(second.entry->start());
  EXPECT_NE(second.backend->errorText().find("28432"), std::string::npos);
}
