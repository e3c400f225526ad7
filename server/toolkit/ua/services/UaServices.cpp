#include "server/toolkit/ua/services/UaServices.h"

#include <set>

#include "server/toolkit/ua/services/PlantNodes.h"
#include "server/toolkit/ua/services/TagNodes.h"

namespace zentarc::ua {

UaServices::UaServices(SODaSNameSpaceRoot& root, SOCmnPointer<SODaSCreator> creator, Poster post,
                       Options options)
    : limits_(options.limits),
      status_(std::make_shared<ServerStatusSource>(options.identity.buildInfo, DateTime::now())),
      creator_(std::move(creator)),
      post_(std::move(post)),
      clock_(std::move(options.clock)),
      serverObjects_(std::move(options.serverObjects)),
      alive_(std::make_shared<bool>(true)),
      teardownLeft_(limits_.teardownItemsPerTick),
      counters_(std::move(options.counters)),
      output_(options.output),
      subscriptionPool_(limits_.maxSubscriptions, limits_.maxSubscriptionsPerClient),
      items_(limits_.maxMonitoredItems, limits_.maxMonitoredItemsPerClient),
      queued_(limits_.maxQueuedValueBytes, limits_.maxQueuedValueBytesPerClient),
      devicePool_(limits_.maxDeviceOperations, limits_.maxDeviceOperationsPerClient) {
  if (!options.sessionCount) options.sessionCount = [this] { return sessions_.size(); };
  sessionCount_ = options.sessionCount;
  addStandardNodes(space_, options.identity, limits_, status_, [this] { return diagnosticsSummary(); });
  addTagNodes(space_, root, limits_.minSamplingIntervalMs);
  DiagnosticValues::ServerCounts counts;
  counts.sessions = options.sessionCount;
  counts.monitoredItems = [this] { return items_.used(); };
  addPlantNodes(space_, root, std::move(options.plant), std::move(counts), std::move(options.broker));
}

UaServices::~UaServices() {
  *alive_ = false;
  for (auto& [id, state] : sessions_) {
    state->closed = true;
    state->publishQueue.clear();
  }
  while (!subscriptions_.empty()) deleteSubscription(subscriptions_.begin()->first);
  size_t everything = SIZE_MAX;
  retireSome(everything);
}

SteadyTime UaServices::now() const { return clock_ ? clock_() : std::chrono::steady_clock::now(); }

void UaServices::registerWith(ServiceTable& t) {
  using namespace std::placeholders;
  auto bind = [this](auto method) {
    return [this, method](RequestContext& c, auto& r, const auto& reply) { (this->*method)(c, r, reply); };
  };
  t.add<ReadRequest, ReadResponse>(bind(&UaServices::read));
  t.add<WriteRequest, WriteResponse>(bind(&UaServices::write));
  t.add<BrowseRequest, BrowseResponse>(bind(&UaServices::browse));
  t.add<BrowseNextRequest, BrowseNextResponse>(bind(&UaServices::browseNext));
  t.add<TranslateBrowsePathsToNodeIdsRequest, TranslateBrowsePathsToNodeIdsResponse>(
      bind(&UaServices::translate));
  t.add<RegisterNodesRequest, RegisterNodesResponse>(bind(&UaServices::registerNodes));
  t.add<UnregisterNodesRequest, UnregisterNodesResponse>(bind(&UaServices::unregisterNodes));
  t.add<CreateSubscriptionRequest, CreateSubscriptionResponse>(bind(&UaServices::createSubscription));
  t.add<ModifySubscriptionRequest, ModifySubscriptionResponse>(bind(&UaServices::modifySubscription));
  t.add<SetPublishingModeRequest, SetPublishingModeResponse>(bind(&UaServices::setPublishingMode));
  t.add<DeleteSubscriptionsRequest, DeleteSubscriptionsResponse>(
      bind(&UaServices::deleteSubscriptions));
  t.add<PublishRequest, PublishResponse>(bind(&UaServices::publish));
  t.add<RepublishRequest, RepublishResponse>(bind(&UaServices::republish));
  t.add<CreateMonitoredItemsRequest, CreateMonitoredItemsResponse>(
      bind(&UaServices::createMonitoredItems));
  t.add<ModifyMonitoredItemsRequest, ModifyMonitoredItemsResponse>(
      bind(&UaServices::modifyMonitoredItems));
  t.add<SetMonitoringModeRequest, SetMonitoringModeResponse>(bind(&UaServices::setMonitoringMode));
  t.add<DeleteMonitoredItemsRequest, DeleteMonitoredItemsResponse>(
      bind(&UaServices::deleteMonitoredItems));
}

SessionState& UaServices::sessionState(RequestContext& ctx) {
  Session& session = *ctx.session;
  if (auto* state = session.attachmentAs<SessionState>()) return *state;
  auto state = std::make_shared<SessionState>();
  state->sessionId = session.sessionId;
  state->client = session.client;
  state->server = serverObjects_ ? serverObjects_(session)
                                 : SOCmnPointer<SODaSServer>(new SODaSServer(creator_));
  session.attachment = state;
  sessions_[session.sessionId] = state;
  return *state;
}

void UaServices::sessionClosed(Session& session) {
  auto it = sessions_.find(session.sessionId);
  if (it == sessions_.end()) return;
  std::shared_ptr<SessionState> state = it->second;
  sessions_.erase(it);
  state->closed = true;
  // Items are deactivated before their groups go, so the PLC workers stop reading them.
  for (uint32_t id : std::vector<uint32_t>(state->subscriptionIds)) deleteSubscription(id);
  for (auto& p : state->publishQueue) p.reply.fault(Status::BadSessionClosed);
  state->publishQueue.clear();
  state->continuationPoints.clear();
  if (state->server) state->server->removeAllGroups();
  session.attachment.reset();
}

ServerDiagnosticsSummaryDataType UaServices::diagnosticsSummary() const {
  ServerDiagnosticsSummaryDataType d;
  d.currentSessionCount = static_cast<uint32_t>(sessionCount_());
  if (counters_) {
    d.cumulatedSessionCount = counters_->cumulatedSessions;
    d.securityRejectedSessionCount = counters_->securityRejectedSessions;
    d.rejectedSessionCount = counters_->rejectedSessions;
    d.sessionTimeoutCount = counters_->sessionTimeouts;
    d.sessionAbortCount = counters_->sessionAborts;
    d.securityRejectedRequestsCount = counters_->securityRejectedRequests;
    d.rejectedRequestsCount = counters_->rejectedRequests;
  }
  d.currentSubscriptionCount = static_cast<uint32_t>(subscriptions_.size());
  d.cumulatedSubscriptionCount = cumulatedSubscriptions_;
  std::set<double> intervals;
  for (const auto& [id, sub] : subscriptions_) intervals.insert(sub->publishingInterval);
  d.publishingIntervalCount = static_cast<uint32_t>(intervals.size());
  return d;
}

void UaServices::shutdownStarted(const std::string& reason, uint32_t secondsTillShutdown) {
  status_->setShutdown(reason, secondsTillShutdown);
  // Subscribers to ServerStatus see the change at once rather than a sampling interval later.
  tick();
}

void UaServices::tick() {
  const SteadyTime t = now();
  expireDeviceOperations(t);
  teardownLeft_ = limits_.teardownItemsPerTick;
  retireSome(teardownLeft_);
  std::vector<uint32_t> ids;
  ids.reserve(subscriptions_.size());
  for (auto& [id, s] : subscriptions_) ids.push_back(id);
  for (uint32_t id : ids) {
    auto it = subscriptions_.find(id);
    if (it == subscriptions_.end()) continue;
    Subscription& s = *it->second;
    const bool publishing = t >= s.nextPublish;
    s.sample(t, publishing);
    if (publishing) publishCycle(s, t);
  }
  for (auto& [id, state] : sessions_) expirePublishRequests(*state, t);
}

}  // namespace zentarc::ua
