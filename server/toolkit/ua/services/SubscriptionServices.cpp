// CreateSubscription, ModifySubscription, SetPublishingMode, DeleteSubscriptions, Publish and
// Republish, and the publishing cycle: notifications when there are some, a keep-alive after
// maxKeepAliveCount empty cycles, and expiry after lifetimeCount cycles without a Publish.
#include <cmath>

#include "server/toolkit/ua/Binary.h"
#include "server/toolkit/ua/services/UaServices.h"

namespace zentarc::ua {

namespace {

SteadyTime::duration millis(double ms) {
  return std::chrono::duration_cast<SteadyTime::duration>(std::chrono::duration<double, std::milli>(ms));
}

}  // namespace

Subscription* UaServices::findSubscription(RequestContext& ctx, uint32_t id) {
  auto it = subscriptions_.find(id);
  if (it == subscriptions_.end()) return nullptr;
  // Another session's subscription is not there for this one.
  if (it->second->session.get() != &sessionState(ctx)) return nullptr;
  return it->second.get();
}

double UaServices::revisePublishingInterval(double requested) const {
  if (std::isnan(requested) || requested < limits_.minPublishingIntervalMs)
    return limits_.minPublishingIntervalMs;
  return std::min(requested, limits_.maxPublishingIntervalMs);
}

void UaServices::reviseCounts(Subscription& s, double interval, uint32_t lifetime, uint32_t keepAlive) {
  s.publishingInterval = interval;
  if (keepAlive == 0) keepAlive = 10;
  s.maxKeepAliveCount = std::min(keepAlive, limits_.maxKeepAliveCount);
  if (lifetime == 0) lifetime = 10000;
  lifetime = std::min(lifetime, limits_.maxLifetimeCount);
  s.lifetimeCount = std::max(lifetime, 3 * s.maxKeepAliveCount);
}

void UaServices::createSubscription(RequestContext& ctx, CreateSubscriptionRequest& req,
                                    const Reply<CreateSubscriptionResponse>& reply) {
  SessionState& state = sessionState(ctx);
  if (state.subscriptionIds.size() >= limits_.maxSubscriptionsPerSession || !subscriptionPool_.take(state.client, 1))
    return reply.fault(Status::BadTooManySubscriptions);
  ++cumulatedSubscriptions_;
  const uint32_t id = nextSubscriptionId_++;
  auto s = std::make_unique<Subscription>(id, sessions_[state.sessionId]);
  reviseCounts(*s, revisePublishingInterval(req.requestedPublishingInterval),
               req.requestedLifetimeCount, req.requestedMaxKeepAliveCount);
  s->maxNotificationsPerPublish = req.maxNotificationsPerPublish == 0
                                      ? limits_.maxNotificationsPerPublish
                                      : std::min(req.maxNotificationsPerPublish, limits_.maxNotificationsPerPublish);
  s->priority = req.priority;
  s->publishingEnabled = req.publishingEnabled;
  s->nextPublish = now() + millis(s->publishingInterval);
  CreateSubscriptionResponse resp;
  resp.subscriptionId = id;
  resp.revisedPublishingInterval = s->publishingInterval;
  resp.revisedLifetimeCount = s->lifetimeCount;
  resp.revisedMaxKeepAliveCount = s->maxKeepAliveCount;
  state.subscriptionIds.push_back(id);
  subscriptions_[id] = std::move(s);
  reply(std::move(resp));
}

void UaServices::modifySubscription(RequestContext& ctx, ModifySubscriptionRequest& req,
                                    const Reply<ModifySubscriptionResponse>& reply) {
  Subscription* s = findSubscription(ctx, req.subscriptionId);
  if (!s) return reply.fault(Status::BadSubscriptionIdInvalid);
  const double interval = revisePublishingInterval(req.requestedPublishingInterval);
  reviseCounts(*s, interval, req.requestedLifetimeCount, req.requestedMaxKeepAliveCount);
  s->maxNotificationsPerPublish = req.maxNotificationsPerPublish == 0
                                      ? limits_.maxNotificationsPerPublish
                                      : std::min(req.maxNotificationsPerPublish, limits_.maxNotificationsPerPublish);
  s->priority = req.priority;
  s->nextPublish = now() + millis(interval);
  // Items that asked for the publishing interval follow it, and so does their group's rate.
  auto it = s->groups.find({0.0, true});
  if (it != s->groups.end()) {
    SamplingGroup& g = *it->second;
    g.interval = interval;
    for (MonitoredItem* item : g.items) item->samplingInterval = interval;
    if (g.toolkitGroup) g.toolkitGroup->setUpdateRate(static_cast<uint32_t>(interval));
  }
  ModifySubscriptionResponse resp;
  resp.revisedPublishingInterval = s->publishingInterval;
  resp.revisedLifetimeCount = s->lifetimeCount;
  resp.revisedMaxKeepAliveCount = s->maxKeepAliveCount;
  reply(std::move(resp));
}

void UaServices::setPublishingMode(RequestContext& ctx, SetPublishingModeRequest& req,
                                   const Reply<SetPublishingModeResponse>& reply) {
  if (req.subscriptionIds.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.subscriptionIds.size() > limits_.maxSubscriptions)
    return reply.fault(Status::BadTooManyOperations);
  SetPublishingModeResponse resp;
  for (uint32_t id : req.subscriptionIds) {
    Subscription* s = findSubscription(ctx, id);
    if (s) s->publishingEnabled = req.publishingEnabled;
    resp.results.push_back(s ? Status::Good : Status::BadSubscriptionIdInvalid);
  }
  reply(std::move(resp));
}

void UaServices::deleteSubscription(uint32_t id) {
  auto it = subscriptions_.find(id);
  if (it == subscriptions_.end()) return;
  Subscription& s = *it->second;
  SessionState& state = *s.session;
  // Gone for the client at once; its items are taken apart over the next ticks (they still
  // count against the item limits until then). The groups leave the session's server
  // object now, so closing the session does not take them apart in one go.
  for (auto& [key, group] : s.groups)
    if (group->toolkitGroup && state.server) state.server->detachGroup(group->toolkitGroup.get());
  // What it holds of the shared pools goes back at once: its subscription, its queued values
  // and the messages kept for Republish (the items follow as they are taken apart).
  subscriptionPool_.give(state.client, 1);
  size_t queuedBytes = s.forgetAll();
  for (auto& [itemId, item] : s.items) {
    queuedBytes += item->queueBytes;
    item->queueBytes = 0;
    item->clearQueue();
  }
  queued_.give(state.client, queuedBytes);
  std::erase(state.subscriptionIds, id);
  retiring_.push_back(std::move(it->second));
  subscriptions_.erase(it);
  retireSome(teardownLeft_);  // a small one goes at once
}

void UaServices::retireSome(size_t& budget) {
  while (!retiring_.empty() && budget > 0) {
    Subscription& s = *retiring_.front();
    // First the toolkit items leave their groups (each deactivated, so polling stops) ...
    for (auto it = s.groups.begin(); it != s.groups.end() && budget > 0;) {
      SamplingGroup& g = *it->second;
      if (g.toolkitGroup) budget -= g.toolkitGroup->removeSomeItems(budget);
      if (g.toolkitGroup && !g.toolkitGroup->getLeafList().isEmpty()) break;
      it = s.groups.erase(it);
    }
    // ... then our own items go.
    while (s.groups.empty() && !s.items.empty() && budget > 0) {
      s.items.erase(s.items.begin());
      items_.give(s.session->client, 1);
      --budget;
    }
    if (!s.groups.empty() || !s.items.empty()) return;
    retiring_.pop_front();
  }
}

void UaServices::deleteSubscriptions(RequestContext& ctx, DeleteSubscriptionsRequest& req,
                                     const Reply<DeleteSubscriptionsResponse>& reply) {
  if (req.subscriptionIds.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.subscriptionIds.size() > limits_.maxSubscriptions)
    return reply.fault(Status::BadTooManyOperations);
  DeleteSubscriptionsResponse resp;
  for (uint32_t id : req.subscriptionIds) {
    Subscription* s = findSubscription(ctx, id);
    if (s) deleteSubscription(id);
    resp.results.push_back(s ? Status::Good : Status::BadSubscriptionIdInvalid);
  }
  reply(std::move(resp));
  servePendingPublishes(sessionState(ctx));
}

void UaServices::keepForRepublish(Subscription& s, const NotificationMessage& m) {
  const std::string& client = s.session->client;
  const size_t bytes = Subscription::messageBytes(m);
  // A client that acknowledges nothing loses its oldest messages, not the server its memory.
  while (!queued_.take(client, bytes)) {
    const size_t freed = s.forgetOldest();
    if (freed == 0) return;  // not even this one fits: it is sent, not kept
    queued_.give(client, freed);
  }
  queued_.give(client, s.remember(m, bytes, limits_.maxRetransmissionQueue));
}

void UaServices::answerPublish(SessionState& state, Subscription* s, NotificationMessage message,
                               bool more) {
  QueuedPublish q = std::move(state.publishQueue.front());
  state.publishQueue.pop_front();
  PublishResponse resp;
  resp.subscriptionId = s ? s->id : 0;
  if (s) resp.availableSequenceNumbers = s->availableSequenceNumbers();
  resp.moreNotifications = more;
  resp.notificationMessage = std::move(message);
  resp.results = std::move(q.ackResults);
  q.reply(std::move(resp));
}

bool UaServices::sendNext(Subscription& s) {
  SessionState& state = *s.session;
  if (state.publishQueue.empty()) return false;
  bool more = false;
  if (s.publishingEnabled && s.hasNotifications()) {
    NotificationMessage m = s.takeNotifications(more);
    keepForRepublish(s, m);
    answerPublish(state, &s, std::move(m), more);
  } else {
    answerPublish(state, &s, s.keepAlive(), false);
  }
  s.keepAliveCounter = 0;
  s.lifetimeCounter = 0;
  s.messageSent = true;
  s.late = more;
  return true;
}

bool UaServices::sendStatusChange(SessionState& state) {
  if (state.pendingStatus.empty() || state.publishQueue.empty()) return false;
  auto [id, message] = std::move(state.pendingStatus.front());
  state.pendingStatus.pop_front();
  QueuedPublish q = std::move(state.publishQueue.front());
  state.publishQueue.pop_front();
  PublishResponse resp;
  resp.subscriptionId = id;
  resp.notificationMessage = std::move(message);
  resp.results = std::move(q.ackResults);
  q.reply(std::move(resp));
  return true;
}

void UaServices::publishCycle(Subscription& s, SteadyTime t) {
  s.nextPublish += millis(s.publishingInterval);
  if (s.nextPublish <= t) s.nextPublish = t + millis(s.publishingInterval);
  SessionState& state = *s.session;
  const bool havePublish = !state.publishQueue.empty();
  if (s.publishingEnabled && s.hasNotifications()) {
    if (havePublish) {
      while (sendNext(s) && s.late) {
      }
    } else {
      s.late = true;
    }
  } else if (!s.messageSent || ++s.keepAliveCounter >= s.maxKeepAliveCount) {
    if (havePublish) sendNext(s);
    else s.late = true;
  }
  if (havePublish) return;
  if (++s.lifetimeCounter < s.lifetimeCount) return;
  // Nobody asked for this subscription's messages for its whole lifetime: it ends, and the
  // session hears so with its next Publish.
  NotificationMessage m;
  m.sequenceNumber = s.keepAlive().sequenceNumber;
  m.publishTime = DateTime::now();
  StatusChangeNotification scn;
  scn.status = Status::BadTimeout;
  m.notificationData.push_back(toExtensionObject(scn));
  state.pendingStatus.emplace_back(s.id, std::move(m));
  if (state.pendingStatus.size() > limits_.maxSubscriptionsPerSession) state.pendingStatus.pop_front();
  deleteSubscription(s.id);
}

void UaServices::servePendingPublishes(SessionState& state) {
  while (sendStatusChange(state)) {
  }
  // Late subscriptions first, highest priority first.
  while (!state.publishQueue.empty()) {
    Subscription* best = nullptr;
    for (uint32_t id : state.subscriptionIds) {
      auto it = subscriptions_.find(id);
      if (it == subscriptions_.end()) continue;
      Subscription* s = it->second.get();
      if (s->late && (!best || s->priority > best->priority)) best = s;
    }
    if (!best) break;
    sendNext(*best);
  }
  if (state.subscriptionIds.empty() && state.pendingStatus.empty()) {
    while (!state.publishQueue.empty()) {
      state.publishQueue.front().reply.fault(Status::BadNoSubscription);
      state.publishQueue.pop_front();
    }
  }
}

void UaServices::publish(RequestContext& ctx, PublishRequest& req, const Reply<PublishResponse>& reply) {
  SessionState& state = sessionState(ctx);
  QueuedPublish q;
  q.reply = reply;
  q.received = now();
  q.timeoutHintMs = ctx.requestHeader.timeoutHint;
  for (const auto& ack : req.subscriptionAcknowledgements) {
    Subscription* s = findSubscription(ctx, ack.subscriptionId);
    size_t freed = 0;
    if (!s) {
      q.ackResults.push_back(Status::BadSubscriptionIdInvalid);
    } else if (s->acknowledge(ack.sequenceNumber, freed)) {
      queued_.give(state.client, freed);
      q.ackResults.push_back(Status::Good);
    } else {
      q.ackResults.push_back(Status::BadSequenceNumberUnknown);
    }
  }
  if (state.subscriptionIds.empty() && state.pendingStatus.empty())
    return reply.fault(Status::BadNoSubscription);
  if (state.publishQueue.size() >= limits_.maxPublishRequestsPerSession) {
    state.publishQueue.front().reply.fault(Status::BadTooManyPublishRequests);
    state.publishQueue.pop_front();
  }
  state.publishQueue.push_back(std::move(q));
  for (uint32_t id : state.subscriptionIds) {
    auto it = subscriptions_.find(id);
    if (it != subscriptions_.end()) it->second->lifetimeCounter = 0;
  }
  servePendingPublishes(state);
}

void UaServices::expirePublishRequests(SessionState& state, SteadyTime t) {
  auto& q = state.publishQueue;
  for (auto it = q.begin(); it != q.end();) {
    if (it->timeoutHintMs && t >= it->received + std::chrono::milliseconds(it->timeoutHintMs)) {
      it->reply.fault(Status::BadTimeout);
      it = q.erase(it);
    } else {
      ++it;
    }
  }
}

void UaServices::republish(RequestContext& ctx, RepublishRequest& req,
                           const Reply<RepublishResponse>& reply) {
  Subscription* s = findSubscription(ctx, req.subscriptionId);
  if (!s) return reply.fault(Status::BadSubscriptionIdInvalid);
  const NotificationMessage* m = s->findMessage(req.retransmitSequenceNumber);
  if (!m) return reply.fault(Status::BadMessageNotAvailable);
  RepublishResponse resp;
  resp.notificationMessage = *m;
  reply(std::move(resp));
}

}  // namespace zentarc::ua
