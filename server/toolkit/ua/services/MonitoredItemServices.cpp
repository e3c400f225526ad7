// CreateMonitoredItems, ModifyMonitoredItems, SetMonitoringMode and DeleteMonitoredItems,
// and how items map onto toolkit groups and items.
#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "server/toolkit/ua/services/AttributeRead.h"
#include "server/toolkit/ua/services/UaServices.h"

namespace zentarc::ua {

namespace {

bool validMode(MonitoringMode m) {
  return m >= MonitoringMode::Disabled && m <= MonitoringMode::Reporting;
}

}  // namespace

double UaServices::reviseSamplingInterval(const Subscription& s, double requested, const Node& node,
                                          bool& followsPublishing) const {
  followsPublishing = requested < 0 || std::isnan(requested);
  if (followsPublishing) return s.publishingInterval;
  const double floor = std::max(limits_.minSamplingIntervalMs, node.minimumSamplingInterval);
  if (requested < floor) return floor;
  return std::min(requested, limits_.maxSamplingIntervalMs);
}

uint32_t UaServices::grantQueue(const std::string& client, MonitoredItem& item, uint32_t requested,
                                bool discardOldest) {
  // Every item keeps one value anyway; the rest of its queue comes from the client's share
  // of queued values, as much as is left of it.
  queued_.give(client, item.queueBytes);
  item.queueBytes = 0;
  const uint32_t wanted = std::clamp<uint32_t>(requested, 1, limits_.maxQueueSize);
  const size_t perValue = std::max(item.node.valueBytes, sizeof(DataValue) + 64);
  const size_t extra = std::min<size_t>(wanted - 1, queued_.room(client) / perValue);
  item.queueBytes = extra * perValue;
  queued_.take(client, item.queueBytes);
  item.setQueue(static_cast<uint32_t>(1 + extra), discardOldest);
  return item.queueSize;
}

void UaServices::placeInGroup(Subscription& s, MonitoredItem& item) {
  const std::pair<double, bool> key =
      item.followsPublishing ? std::pair{0.0, true} : std::pair{item.samplingInterval, false};
  auto& slot = s.groups[key];
  if (!slot) {
    slot = std::make_unique<SamplingGroup>();
    slot->interval = item.samplingInterval;
    slot->followsPublishing = item.followsPublishing;
    slot->nextDue = now() + std::chrono::duration_cast<SteadyTime::duration>(
                                std::chrono::duration<double, std::milli>(slot->interval));
    SessionState& state = *s.session;
    if (state.server)
      slot->toolkitGroup = state.server->addGroup(
          "subscription " + std::to_string(s.id) + " @" + std::to_string(slot->interval),
          static_cast<uint32_t>(slot->interval));
  }
  slot->items.push_back(&item);
  item.group = slot.get();
  if (item.node.tag && slot->toolkitGroup)
    item.toolkitItem = slot->toolkitGroup->addItem(item.node.tag, false);
}

void UaServices::removeFromGroups(Subscription& s, const std::vector<MonitoredItem*>& items) {
  std::map<SamplingGroup*, std::vector<MonitoredItem*>> byGroup;
  for (MonitoredItem* item : items)
    if (item->group) byGroup[item->group].push_back(item);
  for (auto& [g, leaving] : byGroup) {
    // removeItems deactivates first, so the tags leave the polling before the items go.
    std::vector<SODaSItem*> toolkitItems;
    toolkitItems.reserve(leaving.size());
    for (MonitoredItem* item : leaving) {
      if (item->toolkitItem) toolkitItems.push_back(item->toolkitItem.get());
      item->group = nullptr;
    }
    if (g->toolkitGroup) g->toolkitGroup->removeItems(toolkitItems);
    for (MonitoredItem* item : leaving) item->toolkitItem.reset();
    std::unordered_set<const MonitoredItem*> gone(leaving.begin(), leaving.end());
    std::erase_if(g->items, [&gone](const MonitoredItem* i) { return gone.count(i) != 0; });
    if (!g->items.empty()) continue;
    if (g->toolkitGroup && s.session->server) s.session->server->removeGroup(g->toolkitGroup.get());
    for (auto it = s.groups.begin(); it != s.groups.end(); ++it)
      if (it->second.get() == g) {
        s.groups.erase(it);
        break;
      }
  }
}

void UaServices::applyMode(MonitoredItem& item, MonitoringMode mode) {
  const bool wasActive = item.active();
  item.mode = mode;
  if (item.toolkitItem) item.toolkitItem->setActive(mode != MonitoringMode::Disabled);
  if (mode == MonitoringMode::Disabled) item.clearQueue();
  else if (!wasActive) item.resetSampling();
}

void UaServices::createMonitoredItems(RequestContext& ctx, CreateMonitoredItemsRequest& req,
                                      const Reply<CreateMonitoredItemsResponse>& reply) {
  Subscription* s = findSubscription(ctx, req.subscriptionId);
  if (!s) return reply.fault(Status::BadSubscriptionIdInvalid);
  if (req.itemsToCreate.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.itemsToCreate.size() > limits_.maxMonitoredItemsPerCall)
    return reply.fault(Status::BadTooManyOperations);
  if (req.timestampsToReturn < TimestampsToReturn::Source ||
      req.timestampsToReturn > TimestampsToReturn::Neither)
    return reply.fault(Status::BadTimestampsToReturnInvalid);

  const std::string& client = s->session->client;
  CreateMonitoredItemsResponse resp;
  resp.results.resize(req.itemsToCreate.size());
  for (size_t i = 0; i < req.itemsToCreate.size(); ++i) {
    const MonitoredItemCreateRequest& c = req.itemsToCreate[i];
    MonitoredItemCreateResult& r = resp.results[i];
    const Node* node = space_.find(c.itemToMonitor.nodeId);
    const uint32_t attr = c.itemToMonitor.attributeId;
    uint32_t a = 0, b = 0;
    if (!node) r.statusCode = Status::BadNodeIdUnknown;
    else if (!hasAttribute(*node, attr)) r.statusCode = Status::BadAttributeIdInvalid;
    else if (attr == static_cast<uint32_t>(AttributeId::Value) &&
             node->nodeClass == NodeClass::Variable && !(node->accessLevel & kAccessCurrentRead))
      r.statusCode = Status::BadNotReadable;
    else if (!c.itemToMonitor.indexRange.empty() && !parseIndexRange(c.itemToMonitor.indexRange, a, b))
      r.statusCode = Status::BadIndexRangeInvalid;
    else if (!c.itemToMonitor.dataEncoding.name.empty())
      r.statusCode = Status::BadDataEncodingUnsupported;
    else if (!validMode(c.monitoringMode)) r.statusCode = Status::BadMonitoringModeInvalid;
    else if (s->items.size() >= limits_.maxMonitoredItemsPerSubscription || items_.room(client) == 0)
      r.statusCode = Status::BadTooManyMonitoredItems;
    if (r.statusCode.isBad()) continue;

    auto item = std::make_unique<MonitoredItem>(s->nextItemId, *node, c.itemToMonitor,
                                                req.timestampsToReturn);
    const MonitoringParameters& p = c.requestedParameters;
    r.statusCode = item->setFilter(p.filter);
    if (r.statusCode.isBad()) continue;
    items_.take(client, 1);
    item->clientHandle = p.clientHandle;
    grantQueue(client, *item, p.queueSize, p.discardOldest);
    item->samplingInterval = reviseSamplingInterval(*s, p.samplingInterval, *node, item->followsPublishing);
    const uint32_t id = s->nextItemId++;
    MonitoredItem& ref = *item;
    s->items[id] = std::move(item);
    placeInGroup(*s, ref);
    applyMode(ref, c.monitoringMode);
    ref.sample();  // the first value goes out with the next publish
    r.monitoredItemId = id;
    r.revisedSamplingInterval = ref.samplingInterval;
    r.revisedQueueSize = ref.queueSize;
  }
  reply(std::move(resp));
}

void UaServices::modifyMonitoredItems(RequestContext& ctx, ModifyMonitoredItemsRequest& req,
                                      const Reply<ModifyMonitoredItemsResponse>& reply) {
  Subscription* s = findSubscription(ctx, req.subscriptionId);
  if (!s) return reply.fault(Status::BadSubscriptionIdInvalid);
  if (req.itemsToModify.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.itemsToModify.size() > limits_.maxMonitoredItemsPerCall)
    return reply.fault(Status::BadTooManyOperations);
  if (req.timestampsToReturn < TimestampsToReturn::Source ||
      req.timestampsToReturn > TimestampsToReturn::Neither)
    return reply.fault(Status::BadTimestampsToReturnInvalid);
  ModifyMonitoredItemsResponse resp;
  resp.results.resize(req.itemsToModify.size());
  // Items whose sampling interval changes move to another group, all at once afterwards.
  std::vector<MonitoredItem*> moving;
  std::vector<std::pair<double, bool>> movingTo;
  std::unordered_map<MonitoredItem*, size_t> movingIndex;
  for (size_t i = 0; i < req.itemsToModify.size(); ++i) {
    const auto& m = req.itemsToModify[i];
    auto& r = resp.results[i];
    auto it = s->items.find(m.monitoredItemId);
    if (it == s->items.end()) {
      r.statusCode = Status::BadMonitoredItemIdInvalid;
      continue;
    }
    MonitoredItem& item = *it->second;
    const MonitoringParameters& p = m.requestedParameters;
    r.statusCode = item.setFilter(p.filter);
    if (r.statusCode.isBad()) continue;
    item.timestamps = req.timestampsToReturn;
    item.clientHandle = p.clientHandle;
    grantQueue(s->session->client, item, p.queueSize, p.discardOldest);
    bool follows = false;
    const double interval = reviseSamplingInterval(*s, p.samplingInterval, item.node, follows);
    if (interval != item.samplingInterval || follows != item.followsPublishing) {
      auto [at, fresh] = movingIndex.emplace(&item, moving.size());
      if (fresh) {
        moving.push_back(&item);
        movingTo.emplace_back(interval, follows);
      } else {
        movingTo[at->second] = {interval, follows};  // named twice: the last one counts
      }
    }
    r.revisedSamplingInterval = interval;
    r.revisedQueueSize = item.queueSize;
  }
  removeFromGroups(*s, moving);
  for (size_t k = 0; k < moving.size(); ++k) {
    MonitoredItem& item = *moving[k];
    const MonitoringMode mode = item.mode;
    item.samplingInterval = movingTo[k].first;
    item.followsPublishing = movingTo[k].second;
    placeInGroup(*s, item);
    item.mode = MonitoringMode::Disabled;  // so the new toolkit item is activated afresh
    applyMode(item, mode);
  }
  reply(std::move(resp));
}

void UaServices::setMonitoringMode(RequestContext& ctx, SetMonitoringModeRequest& req,
                                   const Reply<SetMonitoringModeResponse>& reply) {
  Subscription* s = findSubscription(ctx, req.subscriptionId);
  if (!s) return reply.fault(Status::BadSubscriptionIdInvalid);
  if (req.monitoredItemIds.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.monitoredItemIds.size() > limits_.maxMonitoredItemsPerCall)
    return reply.fault(Status::BadTooManyOperations);
  if (!validMode(req.monitoringMode)) return reply.fault(Status::BadMonitoringModeInvalid);
  SetMonitoringModeResponse resp;
  for (uint32_t id : req.monitoredItemIds) {
    auto it = s->items.find(id);
    if (it == s->items.end()) {
      resp.results.push_back(Status::BadMonitoredItemIdInvalid);
      continue;
    }
    applyMode(*it->second, req.monitoringMode);
    resp.results.push_back(Status::Good);
  }
  reply(std::move(resp));
}

void UaServices::deleteMonitoredItems(RequestContext& ctx, DeleteMonitoredItemsRequest& req,
                                      const Reply<DeleteMonitoredItemsResponse>& reply) {
  Subscription* s = findSubscription(ctx, req.subscriptionId);
  if (!s) return reply.fault(Status::BadSubscriptionIdInvalid);
  if (req.monitoredItemIds.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.monitoredItemIds.size() > limits_.maxMonitoredItemsPerCall)
    return reply.fault(Status::BadTooManyOperations);
  DeleteMonitoredItemsResponse resp;
  std::vector<MonitoredItem*> leaving;
  std::unordered_set<uint32_t> named;
  for (uint32_t id : req.monitoredItemIds) {
    auto it = s->items.find(id);
    if (it == s->items.end() || !named.insert(id).second) {
      resp.results.push_back(Status::BadMonitoredItemIdInvalid);
      continue;
    }
    leaving.push_back(it->second.get());
    resp.results.push_back(Status::Good);
  }
  removeFromGroups(*s, leaving);
  const std::string& client = s->session->client;
  for (MonitoredItem* item : leaving) {
    queued_.give(client, item->queueBytes);
    s->items.erase(item->id);
    items_.give(client, 1);
  }
  reply(std::move(resp));
}

}  // namespace zentarc::ua
