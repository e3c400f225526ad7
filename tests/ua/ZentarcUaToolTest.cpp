// The zentarc-ua command line, value parsing, and its commands against a server whose
// services are small stand-ins.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "server/toolkit/ua/NodeIds.h"
#include "server/toolkit/ua/UaServer.h"
#include "server/toolkit/ua/security/LocalIdentity.h"
#include "server/toolkit/ua/security/UserDirectory.h"
#include "tests/support/TempDir.h"
#include "tools/zentarc-ua/Commands.h"
#include "tools/zentarc-ua/ValueText.h"

using namespace zentarc::ua;
using namespace zentarc::uatool;

TEST(ZentarcUaCommandLine, commandsOptionsAndMistakes) {
  Options o = parseCommandLine({"--endpoint", "opc.tcp://h:1", "watch", "A", "ns=1;s=B", "--interval", "100", "--duration", "2.5"});
  EXPECT_TRUE(o.error.empty()) << o.error;
  EXPECT_EQ(o.command, Command::Watch);
  EXPECT_EQ(o.endpoint, "opc.tcp://h:1");
  EXPECT_EQ(o.nodes, (std::vector<std::string>{"A", "ns=1;s=B"}));
  EXPECT_EQ(o.intervalMs, 100);
  EXPECT_DOUBLE_EQ(o.durationS, 2.5);
  EXPECT_EQ(parseCommandLine({"browse"}).command, Command::Browse);
  EXPECT_TRUE(parseCommandLine({"--help"}).help);
  Options w = parseCommandLine({"write", "T", "1,2"});
  EXPECT_EQ(w.value, "1,2");
  for (auto bad : std::vector<std::vector<std::string>>{
           {}, {"read"}, {"write", "T"}, {"fly"}, {"read", "T", "--bogus"},
           {"watch", "T", "--interval", "0"}, {"watch", "T", "--interval", "x"},
           {"read", "T", "--endpoint"}, {"browse", "a", "b"}})
    EXPECT_FALSE(parseCommandLine(bad).error.empty());
}

TEST(ZentarcUaValueText, valuesFollowTheNodesDataType) {
  std::string why;
  EXPECT_EQ(parseValue("-5", NodeId(0, Id::Int16), -1, why), Variant::of(int16_t{-5}));
  EXPECT_EQ(parseValue("65535", NodeId(0, Id::UInt16), -1, why), Variant::of(uint16_t{65535}));
  EXPECT_EQ(parseValue("true", NodeId(0, Id::Boolean), -1, why), Variant::of(true));
  EXPECT_EQ(parseValue("1.5", NodeId(0, Id::Float), -1, why), Variant::of(1.5f));
  EXPECT_EQ(parseValue(" hi ", NodeId(0, Id::String), -1, why), Variant::of(String(" hi ")));
  EXPECT_EQ(parseValue("[1, -2,3]", NodeId(0, Id::SByte), 1, why),
            Variant::arrayOf(std::vector<int8_t>{1, -2, 3}));
  EXPECT_EQ(parseValue("", NodeId(0, Id::Byte), 1, why), Variant::arrayOf(std::vector<uint8_t>{}));
  EXPECT_FALSE(parseValue("70000", NodeId(0, Id::Int16), -1, why));
  EXPECT_NE(why.find("is not a Int16"), std::string::npos);
  EXPECT_FALSE(parseValue("-1", NodeId(0, Id::UInt32), -1, why));
  EXPECT_FALSE(parseValue("1e40", NodeId(0, Id::Float), -1, why));
  EXPECT_FALSE(parseValue("1,x", NodeId(0, Id::Int32), 1, why));
  EXPECT_NE(why.find("element 2"), std::string::npos);
  EXPECT_FALSE(parseValue("yes", NodeId(0, Id::Boolean), -1, why));
  EXPECT_FALSE(parseValue("1", NodeId(0, Id::Guid), -1, why));
  EXPECT_EQ(parseNode("Pump.Speed"), NodeId(1, String("Pump.Speed")));
  EXPECT_EQ(parseNode("i=85"), NodeId(0, 85u));
  EXPECT_FALSE(parseNode("ns=x;i=1"));
}

namespace {

// Stand-in services: one Int16 variable "T" (writable), one UInt32 array "A"; a subscription
// whose Publish answers a change of T after a short wait, from another thread.
struct StubServer {
  UaServer server;
  int16_t value = 7;
  std::vector<std::thread> publishers;

  explicit StubServer(int port, ServerSecurity security = ServerSecurity::unsecured()) : server(makeConfig(port, std::move(security))) {
    auto& t = server.services();
    t.add<ReadRequest, ReadResponse>([this](RequestContext&, ReadRequest& req, const Reply<ReadResponse>& reply) {
      ReadResponse resp;
      for (const auto& n : req.nodesToRead) {
        DataValue dv;
        bool isT = n.nodeId == NodeId(1, String("T")), isA = n.nodeId == NodeId(1, String("A"));
        if (!isT && !isA) {
          dv.status = StatusCode(Status::BadNodeIdUnknown);
        } else if (n.attributeId == static_cast<uint32_t>(AttributeId::DataType)) {
          dv.value = Variant::of(NodeId(0, isT ? Id::Int16 : Id::UInt32));
        } else if (n.attributeId == static_cast<uint32_t>(AttributeId::ValueRank)) {
          dv.value = Variant::of(int32_t{isT ? -1 : 1});
        } else {
          dv.value = isT ? Variant::of(value) : Variant::arrayOf(std::vector<uint32_t>{1, 2});
        }
        resp.results.push_back(dv);
      }
      reply(std::move(resp));
    });
    t.add<WriteRequest, WriteResponse>([this](RequestContext&, WriteRequest& req, const Reply<WriteResponse>& reply) {
      WriteResponse resp;
      for (const auto& w : req.nodesToWrite) {
        const int16_t* v = w.value.value ? w.value.value->get<int16_t>() : nullptr;
        if (w.nodeId == NodeId(1, String("T")) && v) {
          value = *v;
          resp.results.push_back(Status::Good);
        } else {
          resp.results.push_back(w.nodeId == NodeId(1, String("A")) ? Status::BadNotWritable : Status::BadTypeMismatch);
        }
      }
      reply(std::move(resp));
    });
    t.add<BrowseRequest, BrowseResponse>([](RequestContext&, BrowseRequest& req, const Reply<BrowseResponse>& reply) {
      BrowseResponse resp;
      BrowseResult r;
      if (req.nodesToBrowse.at(0).nodeId == NodeId(1, 1u)) {  // the OPCZentarc folder
        ReferenceDescription d;
        d.nodeId = NodeId(1, String("T"));
        d.browseName = QualifiedName{1, "T"};
        d.displayName = LocalizedText("T");
        d.nodeClass = NodeClass::Variable;
        r.references.push_back(d);
      } else {
        r.statusCode = Status::BadNodeIdUnknown;
      }
      resp.results.push_back(r);
      reply(std::move(resp));
    });
    t.add<CreateSubscriptionRequest, CreateSubscriptionResponse>(
        [](RequestContext&, CreateSubscriptionRequest& req, const Reply<CreateSubscriptionResponse>& reply) {
          CreateSubscriptionResponse resp;
          resp.subscriptionId = 9;
          resp.revisedPublishingInterval = req.requestedPublishingInterval;
          resp.revisedMaxKeepAliveCount = 10;
          reply(std::move(resp));
        });
    t.add<CreateMonitoredItemsRequest, CreateMonitoredItemsResponse>(
        [](RequestContext&, CreateMonitoredItemsRequest& req, const Reply<CreateMonitoredItemsResponse>& reply) {
          CreateMonitoredItemsResponse resp;
          resp.results.resize(req.itemsToCreate.size());
          reply(std::move(resp));
        });
    t.add<PublishRequest, PublishResponse>([this](RequestContext&, PublishRequest&, const Reply<PublishResponse>& reply) {
      publishers.emplace_back([reply] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PublishResponse resp;
        resp.subscriptionId = 9;
        DataChangeNotification dcn;
        dcn.monitoredItems.push_back({0, DataValue{Variant::of(int16_t{42}), {}, {}, {}, {}, {}}});
        resp.notificationMessage.sequenceNumber = 1;
        resp.notificationMessage.notificationData.push_back(toExtensionObject(dcn));
        reply(std::move(resp));
      });
    });
    t.add<DeleteSubscriptionsRequest, DeleteSubscriptionsResponse>(
        [](RequestContext&, DeleteSubscriptionsRequest& req, const Reply<DeleteSubscriptionsResponse>& reply) {
          DeleteSubscriptionsResponse resp;
          resp.results.resize(req.subscriptionIds.size());
          reply(std::move(resp));
        });
    EXPECT_TRUE(server.start().isGood());
  }
  ~StubServer() {
    server.stop();
    for (auto& p : publishers) p.join();
  }
  static UaServerConfig makeConfig(int port, ServerSecurity security) {
    UaServerConfig c;
    c.endpointUrl = "opc.tcp://127.0.0.1:" + std::to_string(port);
    c.security = std::move(security);
    return c;
  }
};

struct ToolRun {
  int rc;
  std::string out, err;
};

ToolRun run(std::vector<std::string> args) {
  Options o = parseCommandLine(args);
  EXPECT_TRUE(o.error.empty()) << o.error;
  std::ostringstream out, err;
  std::atomic<bool> stop{false};
  int rc = runTool(o, stop, out, err);
  return {rc, out.str(), err.str()};
}

}  // namespace

TEST(ZentarcUaTool, browseReadWriteAgainstAServer) {
  StubServer s(28420);
  const std::string ep = "opc.tcp://127.0.0.1:28420";
  ToolRun b = run({"--endpoint", ep, "browse"});
  EXPECT_EQ(b.rc, kOk) << b.err;
  EXPECT_NE(b.out.find("Variable\tns=1;s=T\tT"), std::string::npos) << b.out;
  EXPECT_EQ(run({"--endpoint", ep, "browse", "i=1234"}).rc, kRefused);

  ToolRun r = run({"--endpoint", ep, "read", "T", "A"});
  EXPECT_EQ(r.rc, kOk) << r.err;
  EXPECT_NE(r.out.find("ns=1;s=T = 7  [Good"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ns=1;s=A = [1, 2]"), std::string::npos) << r.out;
  ToolRun missing = run({"--endpoint", ep, "read", "Nope"});
  EXPECT_EQ(missing.rc, kRefused);
  EXPECT_NE(missing.out.find("BadNodeIdUnknown"), std::string::npos);

  ToolRun w = run({"--endpoint", ep, "write", "T", "-300"});
  EXPECT_EQ(w.rc, kOk) << w.err;
  EXPECT_EQ(s.value, -300);
  ToolRun badValue = run({"--endpoint", ep, "write", "T", "99999"});
  EXPECT_EQ(badValue.rc, kUsage);
  EXPECT_NE(badValue.err.find("is not a Int16"), std::string::npos) << badValue.err;
  ToolRun refused = run({"--endpoint", ep, "write", "A", "1,2,3"});
  EXPECT_EQ(refused.rc, kRefused);
  EXPECT_NE(refused.out.find("BadNotWritable"), std::string::npos);
  EXPECT_EQ(run({"--endpoint", ep, "write", "Nope", "1"}).rc, kRefused);
}

TEST(ZentarcUaTool, watchPrintsChangesUntilTheDurationEnds) {
  StubServer s(28421);
  ToolRun w = run({"--endpoint", "opc.tcp://127.0.0.1:28421", "watch", "T", "--interval", "50", "--duration", "0.3"});
  EXPECT_EQ(w.rc, kOk) << w.err;
  EXPECT_NE(w.out.find("ns=1;s=T = 42"), std::string::npos) << w.out;
}

TEST(ZentarcUaTool, noServer_isExitThreeWithTheReason) {
  ToolRun r = run({"--endpoint", "opc.tcp://127.0.0.1:28422", "read", "T"});
  EXPECT_EQ(r.rc, kNoConnection);
  EXPECT_NE(r.err.find("cannot connect"), std::string::npos);
}

// A secure policy: our certificate is made on first use, refused until the server's operator
// trusts it, then used; a user name's password comes from the environment.
TEST(ZentarcUaTool, securePolicy_ownCertificateIsMadeAndMustBeTrusted_thenUserNamesWork) {
  zentarc::testsupport::TempDir dir;
  setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
  ServerSecurity security;
  security.policies = {securityPolicyByName("Aes256_Sha256_RsaPss")};
  security.anonymous = AnonymousAccess::Read;
  security.pki = std::make_shared<Pki>(dir.path() / "server-pki", "server");
  std::string error;
  ASSERT_TRUE(security.pki->loadOrCreateOwn(localCertificateRequest("server", "test", "urn:OPCZentarc"), error));
  ASSERT_TRUE(UserDirectory::addUser((dir.path() / "users").string(), "op", UserRole::Writer, "pw", error));
  security.users = std::make_shared<UserDirectory>((dir.path() / "users").string());
  StubServer s(28422, security);
  const std::string ep = "opc.tcp://127.0.0.1:28422";
  ToolRun first = run({"--endpoint", ep, "--security", "Aes256_Sha256_RsaPss", "read", "T"});
  EXPECT_EQ(first.rc, kNoConnection);
  EXPECT_NE(first.err.find("BadCertificateUntrusted"), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("move that to trusted/certs"), std::string::npos) << first.err;
  ASSERT_TRUE(std::filesystem::exists(dir.path() / "config/zentarc-ua/pki/own/certs/zentarc-ua.der"));
  // The operator's move.
  for (const auto& f : std::filesystem::directory_iterator(dir.path() / "server-pki/rejected/certs"))
    std::filesystem::rename(f.path(), dir.path() / "server-pki/trusted/certs" / f.path().filename());
  ToolRun second = run({"--endpoint=" + ep, "--security=Aes256_Sha256_RsaPss", "--mode", "Sign", "read", "T"});
  EXPECT_EQ(second.rc, kOk) << second.err;
  EXPECT_NE(second.out.find("ns=1;s=T = 7"), std::string::npos) << second.out;
  Options withUser = parseCommandLine({"--endpoint", ep, "--security", "Aes256_Sha256_RsaPss", "--user", "op", "read", "T"});
  withUser.password = "pw";
  std::ostringstream out, err;
  std::atomic<bool> stop{false};
  EXPECT_EQ(runTool(withUser, stop, out, err), kOk) << err.str();
  withUser.password = "wrong";
  std::ostringstream out2, err2;
  EXPECT_EQ(runTool(withUser, stop, out2, err2), kNoConnection);
  EXPECT_NE(err2.str().find("BadIdentityTokenRejected"), std::string::npos) << err2.str();
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_NE(parseCommandLine({"--security", "Basic256", "read", "T"}).error.find("unknown security policy"),
            std::string::npos);
  EXPECT_NE(parseCommandLine({"--mode", "Encrypt", "read", "T"}).error, "");
}
