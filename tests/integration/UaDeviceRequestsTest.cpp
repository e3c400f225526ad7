// Reads from the device and Writes of OPC UA clients against a slow simulated PLC: what a
// client was answered without, or will never read, is not sent to the PLC afterwards.
// PLCs on 127.0.31.x.
#include <gtest/gtest.h>

#include <map>

#include "server/opc/ServerCreator.h"
#include "server/toolkit/ua/Binary.h"
#include "server/toolkit/ua/services/TagNodes.h"
#include "server/toolkit/ua/services/UaServices.h"
#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;

namespace {

class Sink : public ua::ResponseSink {
 public:
  void sendResponse(uint64_t, uint32_t requestId, std::string body) override { bodies[requestId] = std::move(body); }
  std::map<uint32_t, std::string> bodies;
};

// The UA services over the tags of one slow PLC, on the test's clock. The requests here end
// by their deadline or their connection's close, so the completions the worker posts are
// not needed.
class UaOverSlowPlc {
 public:
  UaOverSlowPlc(const std::string& address, const std::string& tags) {
    sim = &h.simulate(address, {.delayMs = 150});
    if (!h.load(plcXml("P", address, tags))) throw std::runtime_error("configuration refused");
    h.start();
    ua::UaServices::Options o;
    o.clock = [this] { return now; };
    services = std::make_unique<ua::UaServices>(*h.root, SOCmnPointer<SODaSCreator>(new ServerCreator(h.queues)),
                                                [](std::function<void()>) {}, o);
    session->sessionId = ua::NodeId(0, 4242u);
    session->activated = true;
  }
  ~UaOverSlowPlc() { services->sessionClosed(*session); }

  template <typename Req, typename Resp>
  uint32_t call(void (ua::UaServices::*method)(ua::RequestContext&, Req&, const ua::Reply<Resp>&), Req req,
                uint32_t timeoutHint, uint64_t connection = 1) {
    ua::RequestContext ctx;
    ctx.session = session;
    ctx.connectionId = connection;
    ctx.requestHeader.timeoutHint = timeoutHint;
    const uint32_t id = ++lastRequest;
    (services.get()->*method)(ctx, req, ua::Reply<Resp>(std::weak_ptr<ua::ResponseSink>(sink), connection, id, id));
    return id;
  }
  ua::StatusCode firstWriteResult(uint32_t id) {
    if (!sink->bodies.count(id)) return ua::Status::Bad;
    ua::Decoder d(sink->bodies[id]);
    ua::NodeId type;
    ua::WriteResponse r;
    d.read(type);
    d.read(r);
    return r.results.empty() ? ua::StatusCode(ua::Status::Bad) : r.results[0];
  }

  PollingHarness h;
  plcsim::Simulator* sim = nullptr;
  std::shared_ptr<Sink> sink = std::make_shared<Sink>();
  std::shared_ptr<ua::Session> session = std::make_shared<ua::Session>();
  ua::SteadyTime now{std::chrono::seconds(1000)};
  std::unique_ptr<ua::UaServices> services;  // goes before the harness, whose tags it uses
  uint32_t lastRequest = 0;
};

// Tags R0..R{n-1}, 600 registers apart: no block joins two of them, so each is one message.
std::string farApart(int n) {
  std::string tags;
  for (int i = 0; i < n; ++i) tags += tagXml("R" + std::to_string(i), "VT_I2", 1 + 600 * i);
  return tags;
}

}  // namespace

TEST(UaDeviceRequests, aWriteAnsweredBadTimeoutIsNeverWrittenNorAreItsNeighboursRegisters) {
  // W and V are neighbours: V's write joins the block W's was in.
  UaOverSlowPlc rig("127.0.31.1", farApart(12) + tagXml("W", "VT_I2", 20001) + tagXml("V", "VT_I2", 20002));
  rig.sim->setRegister(20000, 1234);
  // The worker is busy with a step of slow reads (about a second) when the Write comes.
  std::vector<SOCmnPointer<SODaSRequest>> reads;
  for (int i = 0; i < 12; ++i) reads.push_back(rig.h.tag("R" + std::to_string(i))->submitRead(SODASREQUEST_TYPE_ASYNC_DEVICE));
  ASSERT_TRUE(waitUntil([&] { return rig.sim->stats().reads >= 1; }, 3000));
  ua::WriteRequest w;
  ua::WriteValue v;
  v.nodeId = ua::tagNodeId("W");
  v.value.value = ua::Variant::of(int16_t{77});
  w.nodesToWrite.push_back(v);
  const uint32_t id = rig.call(&ua::UaServices::write, w, 1000);
  rig.now += std::chrono::seconds(1);
  rig.services->tick();
  ASSERT_EQ(rig.firstWriteResult(id), ua::StatusCode(ua::Status::BadTimeout));

  // Once a write queued after it is done, W's was dropped or sent.
  SOCmnPointer<SODaSRequest> later = rig.h.tag("V")->submitWrite(SOCmnVariant::fromI2(5));
  ASSERT_TRUE(later->waitForCompletion(10000));
  EXPECT_EQ(later->getResult(), S_OK);
  EXPECT_EQ(rig.sim->registerValue(20001), 5);
  EXPECT_EQ(rig.sim->registerValue(20000), 1234) << "a client told BadTimeout finds its value written";
  EXPECT_EQ(rig.sim->stats().writes, 1u);
  for (auto& r : reads) EXPECT_TRUE(r->waitForCompletion(5000));
}

TEST(UaDeviceRequests, theDeviceReadsOfAClosedConnectionAreNotSentAndHoldNoPlace) {
  UaOverSlowPlc rig("127.0.31.2", farApart(8) + tagXml("Z", "VT_I2", 60000));
  ua::ReadRequest r;
  r.maxAge = 0;
  for (int i = 0; i < 8; ++i) {
    ua::ReadValueId id;
    id.nodeId = ua::tagNodeId("R" + std::to_string(i));
    r.nodesToRead.push_back(id);
  }
  rig.call(&ua::UaServices::read, r, 60000, 7);
  ASSERT_TRUE(waitUntil([&] { return rig.sim->stats().reads >= 1; }, 3000));
  rig.services->connectionClosed(7);
  EXPECT_EQ(rig.services->deviceOperationCount(), 0u);

  // Once a read asked after them is done, every one of theirs was dropped or sent.
  SOCmnPointer<SODaSRequest> later = rig.h.tag("Z")->submitRead(SODASREQUEST_TYPE_ASYNC_DEVICE);
  ASSERT_TRUE(later->waitForCompletion(10000));
  EXPECT_LE(rig.sim->stats().reads, 3u);  // the one in flight, perhaps the next, and Z's
  EXPECT_TRUE(waitUntil([&] {
    std::lock_guard lock(rig.h.queues->queueLock);
    return static_cast<std::size_t>(rig.h.queues->queuedRequests) == 0;
  }));
}
