#pragma once
// The OPC UA services on top of our toolkit: the address space, Read/Write, Browse and
// friends, subscriptions and monitored items. Handlers, ticks and session hooks all run on
// one thread (the server's IO thread); device completions arrive from the PLC workers and
// are posted back to it.
//
// Mapping onto the toolkit: each session has a server object holding its groups; a
// subscription's monitored items are grouped by sampling interval, one toolkit group per
// interval (update rate = that interval; items following the publishing interval move with
// it through setUpdateRate); a monitored item on a tag is a toolkit item, active while its
// mode is Sampling or Reporting. Read with maxAge 0 (or a cache older than maxAge) and Write
// are toolkit requests on the tag, answered when they complete.
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "server/toolkit/SODaSCreator.h"
#include "server/toolkit/ua/OutputBudget.h"
#include "server/toolkit/ua/ServerCounters.h"
#include "server/toolkit/ua/SharedPool.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"
#include "server/toolkit/SODaSServer.h"
#include "server/toolkit/ua/ServiceTable.h"
#include "server/toolkit/ua/ServicesAttribute.h"
#include "server/toolkit/ua/ServicesMonitoredItem.h"
#include "server/toolkit/ua/ServicesSubscription.h"
#include "server/toolkit/ua/ServicesView.h"
#include "server/toolkit/ua/services/AddressSpace.h"
#include "server/toolkit/BrokerView.h"
#include "server/toolkit/PlantView.h"
#include "server/toolkit/ua/services/ServiceLimits.h"
#include "server/toolkit/ua/services/StandardNodes.h"
#include "server/toolkit/ua/services/Subscription.h"

namespace zentarc::ua {

struct ContinuationPoint {
  BrowseDescription description;
  uint32_t maxReferences = 0;
  size_t offset = 0;  // matching references already returned
};

struct QueuedPublish {
  Reply<PublishResponse> reply;
  std::vector<StatusCode> ackResults;
  SteadyTime received{};
  uint32_t timeoutHintMs = 0;
};

// What the services keep per session (hung on the session and kept here for the ticks).
struct SessionState : SessionAttachment {
  bool holdsNothing() const override { return subscriptionIds.empty() && deviceOperations == 0; }

  NodeId sessionId;
  std::string client;  // whose share of the pools it draws from
  SOCmnPointer<SODaSServer> server;  // holds this session's toolkit groups
  std::map<std::string, ContinuationPoint> continuationPoints;
  uint32_t nextContinuationPoint = 1;
  std::deque<QueuedPublish> publishQueue;
  std::vector<uint32_t> subscriptionIds;
  // Status changes (a subscription timed out) waiting for a Publish request.
  std::deque<std::pair<uint32_t, NotificationMessage>> pendingStatus;
  uint32_t deviceOperations = 0;  // Reads from the device and Writes not answered yet
  bool closed = false;
};

class UaServices {
 public:
  using Clock = std::function<SteadyTime()>;
  using Poster = std::function<void(std::function<void()>)>;
  // Where a session's server object comes from (the entry counts them); by default the
  // services make an uncounted one of their own.
  using ServerObjectFactory = std::function<SOCmnPointer<SODaSServer>(const Session&)>;

  struct Options {
    ServiceLimits limits;
    ServerIdentity identity;
    Clock clock;                       // steady_clock::now when empty
    ServerObjectFactory serverObjects;
    // The PLCs, their tags and figures for the folders and diagnostics (null: none).
    std::shared_ptr<const PlantView> plant;
    // The MQTT side's figures for Diagnostics/Mqtt (null: no MQTT).
    std::shared_ptr<const BrokerView> broker;
    // Sessions open on the server, for the diagnostics (empty: those the services know).
    std::function<size_t()> sessionCount;
    // The server's counts of sessions and requests, for the diagnostics (null: none).
    std::shared_ptr<const ServerCounters> counters;
    // Where answers reserve their room before they are made (null: no budget).
    OutputBudget* output = nullptr;
  };

  // Builds the address space from the namespace root (tags must all be added by now) and the
  // plant.
  // `post` runs a function on the services' thread; completions of device requests use it.
  UaServices(SODaSNameSpaceRoot& root, SOCmnPointer<SODaSCreator> creator, Poster post,
             Options options);
  ~UaServices();
  UaServices(const UaServices&) = delete;
  UaServices& operator=(const UaServices&) = delete;

  void registerWith(ServiceTable& table);

  // Hooks for the server.
  void sessionClosed(Session& session);
  // Work for a connection that is gone stops (its answers would be dropped).
  void connectionClosed(uint64_t connectionId);
  void shutdownStarted(const std::string& reason, uint32_t secondsTillShutdown);
  void tick();

  const AddressSpace& addressSpace() const { return space_; }
  ServerStatusSource& serverStatus() { return *status_; }
  const ServiceLimits& limits() const { return limits_; }
  size_t subscriptionCount() const { return subscriptions_.size(); }
  // Items of live subscriptions and of deleted ones not yet taken apart.
  size_t monitoredItemCount() const { return items_.used(); }
  // Bytes of queued values and of messages kept for Republish.
  size_t queuedValueBytes() const { return queued_.used(); }
  size_t retiringSubscriptionCount() const { return retiring_.size(); }
  size_t deviceOperationCount() const { return deviceOperations_.size(); }

  // Handlers (public so tests can call them directly).
  void read(RequestContext& ctx, ReadRequest& req, const Reply<ReadResponse>& reply);
  void write(RequestContext& ctx, WriteRequest& req, const Reply<WriteResponse>& reply);
  void browse(RequestContext& ctx, BrowseRequest& req, const Reply<BrowseResponse>& reply);
  void browseNext(RequestContext& ctx, BrowseNextRequest& req,
                  const Reply<BrowseNextResponse>& reply);
  void translate(RequestContext& ctx, TranslateBrowsePathsToNodeIdsRequest& req,
                 const Reply<TranslateBrowsePathsToNodeIdsResponse>& reply);
  void registerNodes(RequestContext& ctx, RegisterNodesRequest& req,
                     const Reply<RegisterNodesResponse>& reply);
  void unregisterNodes(RequestContext& ctx, UnregisterNodesRequest& req,
                       const Reply<UnregisterNodesResponse>& reply);
  void createSubscription(RequestContext& ctx, CreateSubscriptionRequest& req,
                          const Reply<CreateSubscriptionResponse>& reply);
  void modifySubscription(RequestContext& ctx, ModifySubscriptionRequest& req,
                          const Reply<ModifySubscriptionResponse>& reply);
  void setPublishingMode(RequestContext& ctx, SetPublishingModeRequest& req,
                         const Reply<SetPublishingModeResponse>& reply);
  void deleteSubscriptions(RequestContext& ctx, DeleteSubscriptionsRequest& req,
                           const Reply<DeleteSubscriptionsResponse>& reply);
  void publish(RequestContext& ctx, PublishRequest& req, const Reply<PublishResponse>& reply);
  void republish(RequestContext& ctx, RepublishRequest& req, const Reply<RepublishResponse>& reply);
  void createMonitoredItems(RequestContext& ctx, CreateMonitoredItemsRequest& req,
                            const Reply<CreateMonitoredItemsResponse>& reply);
  void modifyMonitoredItems(RequestContext& ctx, ModifyMonitoredItemsRequest& req,
                            const Reply<ModifyMonitoredItemsResponse>& reply);
  void setMonitoringMode(RequestContext& ctx, SetMonitoringModeRequest& req,
                         const Reply<SetMonitoringModeResponse>& reply);
  void deleteMonitoredItems(RequestContext& ctx, DeleteMonitoredItemsRequest& req,
                            const Reply<DeleteMonitoredItemsResponse>& reply);

 private:
  struct DeviceOperation;

  SteadyTime now() const;
  SessionState& sessionState(RequestContext& ctx);
  Subscription* findSubscription(RequestContext& ctx, uint32_t id);
  // Attribute helpers
  // Counts the operation against the session's and the server's bounds and sets its
  // deadline; false (the request refused) when a bound is reached.
  bool admitDeviceOperation(RequestContext& ctx, DeviceOperation& op);
  void finishDeviceOperation(const std::shared_ptr<DeviceOperation>& op);
  // Gives back what an operation holds; true the first time.
  bool endDeviceOperation(DeviceOperation& op);
  void expireDeviceOperations(SteadyTime now);
  // View helpers
  StatusCode browseOne(SessionState& state, const BrowseDescription& d, uint32_t maxRefs,
                       size_t offset, BrowseResult& result);
  // Subscription helpers
  double revisePublishingInterval(double requested) const;
  // Keeps a sent message for Republish within the client's share, forgetting the
  // subscription's oldest ones to make room.
  void keepForRepublish(Subscription& s, const NotificationMessage& m);
  ServerDiagnosticsSummaryDataType diagnosticsSummary() const;
  void reviseCounts(Subscription& s, double interval, uint32_t lifetime, uint32_t keepAlive);
  void publishCycle(Subscription& s, SteadyTime now);
  bool sendNext(Subscription& s);
  bool sendStatusChange(SessionState& state);
  void answerPublish(SessionState& state, Subscription* s, NotificationMessage message, bool more);
  void deleteSubscription(uint32_t id);
  void servePendingPublishes(SessionState& state);
  void expirePublishRequests(SessionState& state, SteadyTime now);
  // Monitored item helpers
  double reviseSamplingInterval(const Subscription& s, double requested, const Node& node,
                                bool& followsPublishing) const;
  void placeInGroup(Subscription& s, MonitoredItem& item);
  // Sets the item's queue to what was asked, as far as the client's share of queued values
  // allows, and returns the revised size.
  uint32_t grantQueue(const std::string& client, MonitoredItem& item, uint32_t requested, bool discardOldest);
  // Takes items out of their sampling groups and toolkit groups, one pass per group; groups
  // left empty go.
  void removeFromGroups(Subscription& s, const std::vector<MonitoredItem*>& items);
  // Takes apart deleted subscriptions, spending `budget` (items).
  void retireSome(size_t& budget);
  void applyMode(MonitoredItem& item, MonitoringMode mode);

  ServiceLimits limits_;
  AddressSpace space_;
  std::shared_ptr<ServerStatusSource> status_;
  SOCmnPointer<SODaSCreator> creator_;
  Poster post_;
  Clock clock_;
  ServerObjectFactory serverObjects_;
  std::function<size_t()> sessionCount_;
  std::shared_ptr<bool> alive_;  // completions arriving after destruction are dropped

  std::map<NodeId, std::shared_ptr<SessionState>> sessions_;
  std::map<uint32_t, std::unique_ptr<Subscription>> subscriptions_;
  std::deque<std::unique_ptr<Subscription>> retiring_;  // deleted, being taken apart
  size_t teardownLeft_ = 0;  // items that may still be taken apart in this tick
  uint32_t nextSubscriptionId_ = 1;
  uint32_t cumulatedSubscriptions_ = 0;
  std::vector<std::shared_ptr<DeviceOperation>> deviceOperations_;
  std::shared_ptr<const ServerCounters> counters_;
  OutputBudget* output_ = nullptr;
  // What the clients hold of the shared pools.
  SharedPool subscriptionPool_;
  SharedPool items_;
  SharedPool queued_;
  SharedPool devicePool_;
};

}  // namespace zentarc::ua
