// The OPC UA backend installed on a toolkit entry: sessions become counted server objects,
// the last one fires onLastOPCObjectReleased, a tag is readable, and shutdownAllClients shows
// the notice before the sessions close.
#include <gtest/gtest.h>

#include <algorithm>
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

// The standard ServerDiagnosticsSummary that monitoring tools read: sessions, subscriptions
// and the requests and sessions the server refused, each figure also as its own variable.
TEST(UaServingBackend, serverDiagnosticsSummary_countsSessionsSubscriptionsAndRefusals) {
  Served s(28433);
  ASSERT_TRUE(s.entry->start());
  const std::string u = url(28433);
  UaClient a, b;
  ASSERT_TRUE(a.connect(u).isGood());
  ASSERT_TRUE(b.connect(u).isGood());
  for (double interval : {100.0, 500.0, 500.0}) {
    CreateSubscriptionRequest cs;
    cs.requestedPublishingInterval = interval;
    CreateSubscriptionResponse csr;
    ASSERT_TRUE(a.call(cs, csr).isGood());
  }
  // Refused: an activation with a token the server does not offer, a request without a session.
  UaClient refused;
  ASSERT_TRUE(refused.openChannel(u).isGood());
  CreateSessionRequest create;
  CreateSessionResponse created;
  ASSERT_TRUE(refused.call(create, created).isGood());
  refused.setAuthenticationToken(created.authenticationToken);
  ActivateSessionRequest activate;
  activate.userIdentityToken = toExtensionObject(UserNameIdentityToken{"username", "someone", ByteString{"x"}, ""});
  ActivateSessionResponse activated;
  EXPECT_EQ(refused.call(activate, activated), StatusCode(Status::BadIdentityTokenInvalid));
  refused.setAuthenticationToken(NodeId());
  std::vector<DataValue> none;
  EXPECT_EQ(refused.read(std::vector<ReadValueId>(1), none), StatusCode(Status::BadSessionIdInvalid));

  auto figure = [&](uint32_t id) {
    ReadValueId r;
    r.nodeId = NodeId(0, id);
    r.attributeId = static_cast<uint32_t>(AttributeId::Value);
    std::vector<DataValue> out;
    EXPECT_TRUE(b.read({r}, out).isGood());
    const uint32_t* v = out.size() == 1 && out[0].value ? out[0].value->get<uint32_t>() : nullptr;
    return v ? *v : 0xFFFFFFFFu;
  };
  EXPECT_EQ(figure(2277), 3u);  // CurrentSessionCount: a, b and the one never activated
  EXPECT_EQ(figure(2278), 3u);  // CumulatedSessionCount
  EXPECT_EQ(figure(3705), 1u);  // RejectedSessionCount
  EXPECT_EQ(figure(2279), 1u);  // SecurityRejectedSessionCount
  EXPECT_EQ(figure(2285), 3u);  // CurrentSubscriptionCount
  EXPECT_EQ(figure(2284), 2u);  // PublishingIntervalCount
  EXPECT_GE(figure(2288), 2u);  // RejectedRequestsCount: the activation and the read
  EXPECT_GE(figure(2287), 1u);  // SecurityRejectedRequestsCount
  a.disconnect();
  EXPECT_TRUE(waitFor([&] { return figure(2285) == 0; }));
  EXPECT_EQ(figure(2286), 3u);  // CumulatedSubscriptionCount
  // The whole summary in one value, and EnabledFlag true.
  ReadValueId whole;
  whole.nodeId = NodeId(0, 2275);
  whole.attributeId = static_cast<uint32_t>(AttributeId::Value);
  ReadValueId enabled = whole;
  enabled.nodeId = NodeId(0, 2294);
  std::vector<DataValue> out;
  ASSERT_TRUE(b.read({whole, enabled}, out).isGood());
  ServerDiagnosticsSummaryDataType summary;
  ASSERT_TRUE(out[0].value && out[0].value->get<ExtensionObject>());
  ASSERT_TRUE(fromExtensionObject(*out[0].value->get<ExtensionObject>(), summary));
  EXPECT_EQ(summary.currentSessionCount, 2u);
  EXPECT_EQ(summary.cumulatedSubscriptionCount, 3u);
  EXPECT_EQ(summary.rejectedSessionCount, 1u);
  ASSERT_TRUE(out[1].value && out[1].value->get<bool>());
  EXPECT_TRUE(*out[1].value->get<bool>());
  // Browsing ServerDiagnostics shows the summary beside EnabledFlag.
  BrowseDescription d;
  d.nodeId = NodeId(0, Id::Server_ServerDiagnostics);
  std::vector<ReferenceDescription> refs;
  ASSERT_TRUE(b.browse(d, refs).isGood());
  std::vector<std::string> names;
  for (const auto& r : refs) names.push_back(r.browseName.name);
  EXPECT_NE(std::find(names.begin(), names.end(), "ServerDiagnosticsSummary"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "EnabledFlag"), names.end());
}
