// One trusted application with the anonymous identity tries to take what every client shares:
// sessions, subscriptions, monitored items with long queues, device operations and the room
// for answers. Each attack pushes past its bound over real secure channels; another trusted
// application still opens a session, reads and writes while it goes on and after.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "server/toolkit/SODaSEntry.h"
#include "server/toolkit/ua/UaClient.h"
#include "server/toolkit/ua/backend/UaServingBackend.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"
#include "tests/ua/SecurityTestKeys.h"

using namespace zentarc::ua;
using namespace std::chrono_literals;
using zentarc::testsupport::TempDir;
using zentarc::testsupport::waitFor;
namespace fs = std::filesystem;

namespace {

// A tag whose reads from the device and writes wait until the test lets them go: a PLC that
// answers slowly.
class HeldTag : public SODaSTag {
 public:
  void handleRequest(SODaSRequest* request) override {
    if (request->getOperation() == SODASREQUEST_OPERATION_READ && !request->isDeviceRead()) {
      request->complete(S_OK);
      return;
    }
    request->markPending();
    std::lock_guard lock(mutex_);
    held_.push_back(SOCmnPointer<SODaSRequest>::share(request));
  }
  size_t held() {
    std::lock_guard lock(mutex_);
    return held_.size();
  }
  void release() {
    std::vector<SOCmnPointer<SODaSRequest>> now;
    {
      std::lock_guard lock(mutex_);
      now.swap(held_);
    }
    for (auto& r : now) r->complete(S_OK);
  }

 private:
  std::mutex mutex_;
  std::vector<SOCmnPointer<SODaSRequest>> held_;
};

const Certificate& normalCertificate() {
  static const Certificate c = testCertificate(testKeys().rsa2048, "urn:test:normal");
  return c;
}
const Certificate& thirdCertificate() {
  static const Certificate c = testCertificate(testKeys().rsa2048, "urn:test:third");
  return c;
}

// The server: tags T0..T9 (Int32), Big0..Big7 (arrays of 65,535 Int32, 256 KB on the wire)
// and Held0..Held7 (arrays like Big, answering only when released), secure policies only,
// anonymous clients writing, three trusted applications.
struct SharedServer {
  TempDir dir;
  SOCmnPointer<SODaSEntry> entry{new SODaSEntry()};
  std::vector<HeldTag*> heldTags;
  std::shared_ptr<UaServingBackend> backend;
  int port;

  SharedServer(int port, const std::function<void(UaServingBackend::Options&)>& tune) : port(port) {
    entry->setCreator(SOCmnPointer<SODaSCreator>(new SODaSCreator()));
    SOCmnPointer<SODaSNameSpaceRoot> root = entry->getNameSpaceRoot();
    auto add = [&](SODaSTag* t, const std::string& name, VARTYPE vt) {
      t->setName(name);
      t->setAccessRights(OPC_READABLE | OPC_WRITEABLE);
      t->setNativeDatatype(vt);
      t->getCache()->setValue(vt & VT_ARRAY ? SOCmnVariant::zeroOf(vt, 65535) : SOCmnVariant::fromI4(1));
      root->addLeaf(t);
      t->release();
    };
    for (int i = 0; i < 10; ++i) add(new SODaSTag(), "T" + std::to_string(i), VT_I4);
    for (int i = 0; i < 8; ++i) add(new SODaSTag(), "Big" + std::to_string(i), VT_ARRAY | VT_I4);
    for (int i = 0; i < 8; ++i) {
      heldTags.push_back(new HeldTag());
      add(heldTags.back(), "Held" + std::to_string(i), VT_ARRAY | VT_I4);
    }
    const fs::path pki = dir.path() / "pki";
    write(pki / "own/certs/server.der", testKeys().serverCertificate.der());
    write(pki / "own/private/server.pem", testKeys().rsa2048.privatePem());
    write(pki / "trusted/certs/attacker.der", testKeys().clientCertificate.der());
    write(pki / "trusted/certs/normal.der", normalCertificate().der());
    write(pki / "trusted/certs/third.der", thirdCertificate().der());
    UaServingBackend::Options o;
    o.endpointUrl = "opc.tcp://127.0.0.1:" + std::to_string(port);
    o.security.policies = {securityPolicyByName("Basic256Sha256")};
    o.security.anonymous = AnonymousAccess::Write;
    o.security.pki = std::make_shared<Pki>(pki, "server");
    std::string error;
    EXPECT_TRUE(o.security.pki->loadOrCreateOwn(CertificateRequest{}, error)) << error;
    tune(o);
    backend = std::make_shared<UaServingBackend>(o);
    entry->setServingBackend(backend);
    EXPECT_TRUE(entry->start()) << backend->errorText();
  }
  ~SharedServer() {
    for (HeldTag* t : heldTags) t->release();
    entry->terminate();
  }
  static void write(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  std::string url() const { return "opc.tcp://127.0.0.1:" + std::to_string(port); }
  UaServices& services() { return *backend->services(); }
  void releaseHeld() {
    for (HeldTag* t : heldTags) t->release();
  }
};

UaClientOptions options(const Certificate& cert, const crypto::Key& key, const std::string& uri) {
  UaClientOptions o;
  o.securityPolicy = "Basic256Sha256";
  o.securityMode = MessageSecurityMode::Sign;
  o.certificate = cert;
  o.privateKey = key;
  o.applicationUri = uri;
  o.timeout = 5000ms;
  return o;
}
UaClientOptions attacker() { return options(testKeys().clientCertificate, testKeys().other2048, "urn:test:client"); }
UaClientOptions normal() { return options(normalCertificate(), testKeys().rsa2048, "urn:test:normal"); }
UaClientOptions third() { return options(thirdCertificate(), testKeys().rsa2048, "urn:test:third"); }

ReadValueId valueOf(const std::string& tag) {
  ReadValueId r;
  r.nodeId = NodeId(1, tag);
  r.attributeId = static_cast<uint32_t>(AttributeId::Value);
  return r;
}

// Another trusted application opens a session, reads a value from the device and writes one.
void expectOthersServed(const SharedServer& s, const char* when) {
  SCOPED_TRACE(when);
  UaClient c(normal());
  ASSERT_TRUE(c.connect(s.url()).isGood()) << c.errorText();
  std::vector<DataValue> values;
  ASSERT_TRUE(c.read({valueOf("T0")}, values, 0).isGood()) << c.errorText();
  EXPECT_FALSE(values[0].status && values[0].status->isBad());
  WriteValue w;
  w.nodeId = NodeId(1, "T1");
  w.attributeId = static_cast<uint32_t>(AttributeId::Value);
  w.value.value = Variant::of(int32_t{7});
  std::vector<StatusCode> results;
  ASSERT_TRUE(c.write({w}, results).isGood()) << c.errorText();
  EXPECT_TRUE(results[0].isGood()) << statusCodeName(results[0]);
}

uint32_t newSubscription(UaClient& c, StatusCode* status = nullptr) {
  CreateSubscriptionRequest req;
  req.requestedPublishingInterval = 100;
  CreateSubscriptionResponse resp;
  const StatusCode st = c.call(req, resp);
  if (status) *status = st;
  return resp.subscriptionId;
}

// Monitored items on T0..T9 in turn; the results say what each got.
std::vector<MonitoredItemCreateResult> monitor(UaClient& c, uint32_t subscription, size_t count, uint32_t queueSize) {
  CreateMonitoredItemsRequest req;
  req.subscriptionId = subscription;
  for (size_t i = 0; i < count; ++i) {
    MonitoredItemCreateRequest m;
    m.itemToMonitor = valueOf("T" + std::to_string(i % 10));
    m.requestedParameters.samplingInterval = 50;
    m.requestedParameters.queueSize = queueSize;
    m.requestedParameters.clientHandle = static_cast<uint32_t>(i);
    req.itemsToCreate.push_back(m);
  }
  CreateMonitoredItemsResponse resp;
  EXPECT_TRUE(c.call(req, resp).isGood()) << c.errorText();
  return resp.results;
}

size_t countStatus(const std::vector<MonitoredItemCreateResult>& results, StatusCode status) {
  size_t n = 0;
  for (const auto& r : results) n += r.statusCode == status ? 1 : 0;
  return n;
}

}  // namespace

// Case: items with queues of 1,000 on values that change, and never a Publish. Queued values
// come from the client's share; queues beyond it are revised to one value.
TEST(UaFairShare, longQueuesWithoutPublish_stayWithinTheClientsShareOfQueuedValues) {
  SharedServer s(28520, [](UaServingBackend::Options& o) {
    o.serviceLimits.maxQueuedValueBytes = 2u * 1024 * 1024;
    o.serviceLimits.maxQueuedValueBytesPerClient = 1u * 1024 * 1024;
    o.serviceLimits.maxMonitoredItems = 400;
    o.serviceLimits.maxMonitoredItemsPerClient = 200;
  });
  UaClient a(attacker());
  ASSERT_TRUE(a.connect(s.url()).isGood()) << a.errorText();
  const uint32_t sub = newSubscription(a);
  const auto results = monitor(a, sub, 300, 1000);
  EXPECT_EQ(countStatus(results, Status::Good), 200u);
  EXPECT_EQ(countStatus(results, Status::BadTooManyMonitoredItems), 100u);
  EXPECT_GT(results[0].revisedQueueSize, 1u);
  EXPECT_EQ(results[199].revisedQueueSize, 1u);  // the share was spent by then
  EXPECT_LE(s.services().queuedValueBytes(), 1u * 1024 * 1024);
  // The values change; queues fill to what was granted, never beyond.
  for (int round = 0; round < 10; ++round) {
    for (int t = 0; t < 10; ++t) s.entry->getNameSpaceRoot()->getTags()[t]->getCache()->setValue(SOCmnVariant::fromI4(round));
    std::this_thread::sleep_for(60ms);
  }
  expectOthersServed(s, "during");
  UaClient n(normal());
  ASSERT_TRUE(n.connect(s.url()).isGood());
  const auto mine = monitor(n, newSubscription(n), 20, 100);
  EXPECT_EQ(countStatus(mine, Status::Good), 20u);
  EXPECT_EQ(mine[0].revisedQueueSize, 100u);  // its own share is untouched
  a.disconnect();                              // the session closes with its subscriptions
  EXPECT_TRUE(waitFor([&] { return s.services().monitoredItemCount() == 20; }));
  expectOthersServed(s, "after");
}

// Case: 32 unread device reads of large tags on each of several connections. Answers under
// way reserve room in the output budget; the client's share ends its reads, and connections
// that read nothing go before the budget is gone.
TEST(UaFairShare, unreadDeviceReads_areBoundedByTheOutputBudget_andItsShares) {
  SharedServer s(28521, [](UaServingBackend::Options& o) {
    o.limits.maxQueuedOutputTotal = 12u * 1024 * 1024;
    o.limits.maxQueuedOutputPerClient = 6u * 1024 * 1024;
    o.limits.outputPauseBytes = 256 * 1024;
    o.serviceLimits.maxDeviceOperationsPerSession = 64;
  });
  ReadRequest big;
  big.maxAge = 0;
  for (int i = 0; i < 4; ++i) big.nodesToRead.push_back(valueOf("Held" + std::to_string(i)));  // 1 MB each answer
  std::vector<std::unique_ptr<UaClient>> greedy;
  for (int i = 0; i < 4; ++i) {
    greedy.push_back(std::make_unique<UaClient>(attacker()));
    ASSERT_TRUE(greedy.back()->connect(s.url()).isGood()) << greedy.back()->errorText();
    for (int k = 0; k < 32; ++k) ASSERT_TRUE(greedy.back()->post(big).isGood());
  }
  // Six answers' worth of room is the attacker's share; the rest of its reads are refused.
  EXPECT_TRUE(waitFor([&] { return s.services().deviceOperationCount() >= 5; }));
  std::this_thread::sleep_for(300ms);
  EXPECT_LE(s.services().deviceOperationCount(), 6u);
  expectOthersServed(s, "while the reads wait");
  // The answers come; nobody reads them: the server holds no more than its budget.
  s.releaseHeld();
  size_t most = 0;
  for (int i = 0; i < 30; ++i) {
    most = std::max(most, s.backend->server()->queuedOutputBytes());
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_LE(most, 12u * 1024 * 1024);
  expectOthersServed(s, "while the answers wait");
  greedy.clear();
  EXPECT_TRUE(waitFor([&] { return s.backend->server()->queuedOutputBytes() == 0; }));
  EXPECT_EQ(s.services().deviceOperationCount(), 0u);
  expectOthersServed(s, "after");
}

// Case: one application opens sessions until refused, then drops its connections without
// closing them. Its share leaves room for others; when the table is full, sessions whose
// connection is gone and that hold nothing make room, long before their timeout.
TEST(UaFairShare, sessions_oneApplicationGetsItsShare_andAbandonedOnesMakeRoom) {
  SharedServer s(28522, [](UaServingBackend::Options& o) {
    o.limits.maxSessions = 6;
    o.limits.maxSessionsPerClient = 3;
  });
  UaClientOptions longLived = attacker();
  longLived.requestedSessionTimeoutMs = 3'600'000;
  std::vector<std::unique_ptr<UaClient>> squatters;
  for (int i = 0; i < 3; ++i) {
    squatters.push_back(std::make_unique<UaClient>(longLived));
    ASSERT_TRUE(squatters.back()->connect(s.url()).isGood());
  }
  UaClient fourth(longLived);
  EXPECT_EQ(fourth.connect(s.url()), StatusCode(Status::BadTooManySessions));
  fourth.disconnect();
  expectOthersServed(s, "while the share is taken");
  // Connections gone, sessions left behind.
  for (auto& c : squatters) shutdown(c->socketFd(), SHUT_RDWR);
  squatters.clear();
  EXPECT_TRUE(waitFor([&] { return s.backend->server()->connectionCount() == 0; }));
  ASSERT_EQ(s.backend->server()->sessionCount(), 3u);
  // The same application again: its own abandoned sessions make room.
  UaClient back(longLived);
  ASSERT_TRUE(back.connect(s.url()).isGood()) << back.errorText();
  EXPECT_EQ(s.backend->server()->sessionCount(), 3u);
  // A full table: the attacker's abandoned sessions are released for a third application.
  UaClient n(normal());
  ASSERT_TRUE(n.connect(s.url()).isGood());
  std::vector<std::unique_ptr<UaClient>> others;
  for (int i = 0; i < 3; ++i) {
    others.push_back(std::make_unique<UaClient>(third()));
    ASSERT_TRUE(others.back()->connect(s.url()).isGood()) << i << ": " << others.back()->errorText();
  }
  EXPECT_EQ(s.backend->server()->sessionCount(), 6u);
  // Sessions still in use are never released.
  std::vector<DataValue> out;
  EXPECT_TRUE(back.read({valueOf("T0")}, out, 1e9).isGood());
  EXPECT_TRUE(n.read({valueOf("T0")}, out, 1e9).isGood());
  UaClient seventh(third());
  EXPECT_EQ(seventh.connect(s.url()), StatusCode(Status::BadTooManySessions));
}

// Case: one application takes every subscription and monitored item it can, and every
// device operation. Each is its share; the others keep theirs.
TEST(UaFairShare, subscriptionsItemsAndDeviceOperations_oneApplicationGetsItsShare) {
  SharedServer s(28523, [](UaServingBackend::Options& o) {
    o.serviceLimits.maxSubscriptions = 8;
    o.serviceLimits.maxSubscriptionsPerClient = 4;
    o.serviceLimits.maxMonitoredItems = 200;
    o.serviceLimits.maxMonitoredItemsPerClient = 100;
    o.serviceLimits.maxDeviceOperations = 8;
    o.serviceLimits.maxDeviceOperationsPerClient = 4;
  });
  UaClient a(attacker()), a2(attacker());
  ASSERT_TRUE(a.connect(s.url()).isGood());
  ASSERT_TRUE(a2.connect(s.url()).isGood());
  StatusCode st;
  std::vector<uint32_t> subs;
  for (int i = 0; i < 4; ++i) subs.push_back(newSubscription(i % 2 ? a : a2, &st));
  EXPECT_TRUE(st.isGood());
  newSubscription(a, &st);
  EXPECT_EQ(st, StatusCode(Status::BadTooManySubscriptions));
  EXPECT_EQ(countStatus(monitor(a2, subs[0], 150, 1), Status::Good), 100u);
  // Device reads that wait hold the attacker's share of device operations.
  ReadRequest held;
  held.maxAge = 0;
  held.nodesToRead = {valueOf("Held0")};
  for (int i = 0; i < 6; ++i) ASSERT_TRUE((i % 2 ? a : a2).post(held).isGood());
  EXPECT_TRUE(waitFor([&] { return s.services().deviceOperationCount() == 4; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(s.services().deviceOperationCount(), 4u);
  expectOthersServed(s, "during");
  UaClient n(normal());
  ASSERT_TRUE(n.connect(s.url()).isGood());
  const uint32_t mine = newSubscription(n, &st);
  EXPECT_TRUE(st.isGood());
  EXPECT_EQ(countStatus(monitor(n, mine, 50, 1), Status::Good), 50u);
  s.releaseHeld();
  a.disconnect();
  a2.disconnect();
  expectOthersServed(s, "after");
  EXPECT_TRUE(waitFor([&] { return s.services().subscriptionCount() == 1; }));
}
