#pragma once
// An in-process toolkit with a few tags, a fake clock and a sink that keeps the encoded
// answers, so the UA services can be called directly and their responses decoded.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/toolkit/SODaSCreator.h"
#include "server/toolkit/SODaSGroup.h"
#include "server/toolkit/SODaSItem.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"
#include "server/toolkit/SODaSTag.h"
#include "server/toolkit/ua/Binary.h"
#include "server/toolkit/ua/services/UaServices.h"

namespace zentarc::ua::test {

// Activation and rate changes as the toolkit hooks see them.
struct HookLog {
  std::vector<std::pair<std::string, bool>> activations;  // tag name, active
  std::vector<uint32_t> rates;
};

class LoggingItem : public SODaSItemDefault {
 public:
  explicit LoggingItem(HookLog& log) : log_(log) {}

 protected:
  void onSetActive(bool active) override { log_.activations.emplace_back(getItemTag()->getName(), active); }

 private:
  HookLog& log_;
};

class LoggingGroup : public SODaSGroupDefault {
 public:
  explicit LoggingGroup(HookLog& log) : log_(log) {}

 protected:
  void onSetUpdateRate(uint32_t rate) override { log_.rates.push_back(rate); }

 private:
  HookLog& log_;
};

class LoggingCreator : public SODaSCreator {
 public:
  explicit LoggingCreator(HookLog& log) : log_(log) {}
  SODaSGroup* createGroup(SODaSServer*) override { return new LoggingGroup(log_); }
  SODaSItem* createItem(SODaSGroup*, SODaSTag*) override { return new LoggingItem(log_); }

 private:
  HookLog& log_;
};

// A tag whose device requests wait for the test to complete them (like a PLC worker).
class DeviceTag : public SODaSTag {
 public:
  void handleRequest(SODaSRequest* request) override {
    if (request->getOperation() == SODASREQUEST_OPERATION_READ && !request->isDeviceRead()) {
      request->complete(S_OK);
      return;
    }
    request->markPending();
    pending.push_back(SOCmnPointer<SODaSRequest>::share(request));
  }
  std::vector<SOCmnPointer<SODaSRequest>> pending;
};

class Sink : public ResponseSink {
 public:
  void sendResponse(uint64_t, uint32_t requestId, std::string body) override {
    bodies[requestId] = std::move(body);
  }
  std::map<uint32_t, std::string> bodies;
};

class ServicesHarness : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Adds a tag (before build()). access: OPC_READABLE / OPC_WRITEABLE bits.
  DeviceTag* addTag(const std::string& name, VARTYPE vt, uint32_t count = 0,
                    uint32_t access = OPC_READABLE | OPC_WRITEABLE, const std::string& comment = "");
  void build(ServiceLimits limits = {}, OutputBudget* output = nullptr);
  // A session of `client` (whose share of the pools it counts against).
  std::shared_ptr<Session> newSession(const std::string& client = "");

  template <typename Req, typename Resp>
  uint32_t call(void (UaServices::*method)(RequestContext&, Req&, const Reply<Resp>&), Req req,
                const std::shared_ptr<Session>& session = nullptr, uint32_t timeoutHint = 0) {
    RequestContext ctx;
    ctx.session = session ? session : session_;
    ctx.requestHeader.timeoutHint = timeoutHint;
    const uint32_t id = ++nextRequest_;
    Reply<Resp> reply(std::weak_ptr<ResponseSink>(sink_), 1, id, id);
    (services_.get()->*method)(ctx, req, reply);
    return id;
  }
  bool answered(uint32_t id) const { return sink_->bodies.count(id) != 0; }
  // The decoded response; a ServiceFault gives a Resp whose header holds the fault.
  template <typename Resp>
  Resp response(uint32_t id) {
    Resp r{};
    auto it = sink_->bodies.find(id);
    if (it == sink_->bodies.end()) {
      ADD_FAILURE() << "request " << id << " has no answer";
      return r;
    }
    Decoder d(it->second);
    NodeId type;
    d.read(type);
    if (type.isNumeric(Id::ServiceFault)) {
      ServiceFault f;
      d.read(f);
      r.responseHeader = f.responseHeader;
      return r;
    }
    EXPECT_TRUE(type.isNumeric(Resp::kEncodingId)) << type.toString();
    d.read(r);
    return r;
  }
  template <typename Req, typename Resp>
  Resp run(void (UaServices::*method)(RequestContext&, Req&, const Reply<Resp>&), Req req,
           const std::shared_ptr<Session>& session = nullptr) {
    return response<Resp>(call(method, std::move(req), session));
  }
  void advance(int ms) {
    now_ += std::chrono::milliseconds(ms);
    services_->tick();
  }
  // Runs what completions posted to the services' thread.
  void runPosted() {
    auto work = std::move(posted_);
    posted_.clear();
    for (auto& f : work) f();
  }

  SOCmnPointer<SODaSNameSpaceRoot> root_;
  std::shared_ptr<const PlantView> plant_;  // set before build() for folders per PLC
  HookLog hooks_;
  SOCmnPointer<LoggingCreator> creator_;
  std::shared_ptr<Sink> sink_ = std::make_shared<Sink>();
  std::unique_ptr<UaServices> services_;
  std::shared_ptr<Session> session_;
  std::deque<std::function<void()>> posted_;
  SteadyTime now_{std::chrono::seconds(1000)};
  uint32_t nextRequest_ = 0;
  uint32_t nextSession_ = 1;
};

ReadValueId valueOf(const std::string& tag);
NodeId tagId(const std::string& tag);

}  // namespace zentarc::ua::test
