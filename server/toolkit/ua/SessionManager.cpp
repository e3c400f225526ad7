#include "server/toolkit/ua/SessionManager.h"

#include <algorithm>

#include "server/toolkit/ua/Discovery.h"
#include "server/toolkit/ua/UaServer.h"

namespace zentarc::ua {

namespace {
// Cuts a client's text to `max` bytes without splitting a UTF-8 sequence.
String bounded(const String& s, size_t max) {
  if (s.size() <= max) return s;
  size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

// What the session keeps of the client's description: the texts cut short, no URL lists.
ApplicationDescription boundedDescription(const ApplicationDescription& d, size_t max) {
  ApplicationDescription out;
  out.applicationUri = bounded(d.applicationUri, max);
  out.productUri = bounded(d.productUri, max);
  if (d.applicationName.text) out.applicationName.text = bounded(*d.applicationName.text, max);
  if (d.applicationName.locale) out.applicationName.locale = bounded(*d.applicationName.locale, 64);
  out.applicationType = d.applicationType;
  return out;
}

Guid randomGuid(std::mt19937_64& r) {
  Guid g;
  uint64_t a = r(), b = r();
  g.data1 = static_cast<uint32_t>(a);
  g.data2 = static_cast<uint16_t>(a >> 32);
  g.data3 = static_cast<uint16_t>(a >> 48);
  for (int i = 0; i < 8; ++i) g.data4[i] = static_cast<uint8_t>(b >> (8 * i));
  return g;
}
}  // namespace

SessionManager::SessionManager(const UaServerConfig& config, Clock clock)
    : config_(config), clock_(std::move(clock)), random_(std::random_device{}()) {}

void SessionManager::setHooks(CreatedHook created, ClosedHook closed) {
  created_ = std::move(created);
  closed_ = std::move(closed);
}

ByteString SessionManager::nonce() {
  std::string n(32, '\0');
  for (size_t i = 0; i < n.size(); i += 8) {
    uint64_t v = random_();
    std::memcpy(&n[i], &v, 8);
  }
  return ByteString{n};
}

StatusCode SessionManager::resolve(const RequestHeader& header, uint32_t channelId,
                                   std::shared_ptr<Session>& session) {
  auto it = sessions_.find(header.authenticationToken);
  if (it == sessions_.end()) return Status::BadSessionIdInvalid;
  Session& s = *it->second;
  if (s.channelId != channelId) return Status::BadSecureChannelIdInvalid;
  if (!s.activated) return Status::BadSessionNotActivated;
  s.lastActivity = clock_();
  session = it->second;
  return Status::Good;
}

void SessionManager::close(const NodeId& token, bool deleteSubscriptions) {
  auto it = sessions_.find(token);
  if (it == sessions_.end()) return;
  std::shared_ptr<Session> s = it->second;
  sessions_.erase(it);
  if (closed_) closed_(*s, deleteSubscriptions);
}

bool SessionManager::expired(const Session& s, SteadyTime now) const {
  if (s.activated)
    return now - s.lastActivity > std::chrono::duration<double, std::milli>(s.timeoutMs);
  const double limit = std::min(s.timeoutMs, double(config_.limits.unactivatedSessionTimeoutMs));
  return now - s.createdAt > std::chrono::duration<double, std::milli>(limit);
}

void SessionManager::closeExpired() {
  SteadyTime now = clock_();
  std::vector<NodeId> due;
  for (const auto& [token, s] : sessions_)
    if (expired(*s, now)) due.push_back(token);
  for (const NodeId& t : due) close(t, true);
}

bool SessionManager::evictOldestUnactivated() {
  const Session* oldest = nullptr;
  for (const auto& [token, s] : sessions_)
    if (!s->activated && (!oldest || s->createdAt < oldest->createdAt)) oldest = s.get();
  if (!oldest) return false;
  close(oldest->authenticationToken, true);
  return true;
}

std::unordered_set<uint32_t> SessionManager::channelsWithActivatedSessions() const {
  std::unordered_set<uint32_t> out;
  for (const auto& [token, s] : sessions_)
    if (s->activated) out.insert(s->channelId);
  return out;
}

void SessionManager::closeAll() {
  std::vector<NodeId> all;
  for (const auto& kv : sessions_) all.push_back(kv.first);
  for (const NodeId& t : all) close(t, true);
}

void SessionManager::registerServices(ServiceTable& table) {
  table.add<CreateSessionRequest, CreateSessionResponse>(
      [this](RequestContext& ctx, CreateSessionRequest& req, const Reply<CreateSessionResponse>& reply) {
        if (!accepting_) return reply.fault(Status::BadShutdown);
        if (sessions_.size() >= config_.limits.maxSessions && !evictOldestUnactivated())
          return reply.fault(Status::BadTooManySessions);
        if (req.clientCertificate.data.size() > config_.limits.maxClientCertificateSize)
          return reply.fault(Status::BadCertificateInvalid);
        // The client certificate is accepted as sent: with SecurityPolicy None it proves nothing.
        auto s = std::make_shared<Session>();
        s->sessionId = NodeId(1, randomGuid(random_));
        s->authenticationToken = NodeId(1, randomGuid(random_));
        s->name = bounded(req.sessionName, config_.limits.maxSessionNameLength);
        s->clientDescription = boundedDescription(req.clientDescription, config_.limits.maxClientTextLength);
        s->channelId = ctx.channelId;
        s->connectionId = ctx.connectionId;
        double requested = req.requestedSessionTimeout > 0 ? req.requestedSessionTimeout
                                                           : config_.limits.maxSessionTimeoutMs;
        s->timeoutMs = std::clamp(requested, config_.limits.minSessionTimeoutMs,
                                  config_.limits.maxSessionTimeoutMs);
        s->maxResponseMessageSize = req.maxResponseMessageSize;
        s->createdAt = clock_();
        s->lastActivity = s->createdAt;
        sessions_[s->authenticationToken] = s;

        CreateSessionResponse resp;
        resp.sessionId = s->sessionId;
        resp.authenticationToken = s->authenticationToken;
        resp.revisedSessionTimeout = s->timeoutMs;
        resp.serverNonce = nonce();
        resp.serverEndpoints = serverEndpoints(config_, advertisedEndpointUrl(config_, req.endpointUrl));
        resp.maxRequestMessageSize = config_.limits.maxMessageSize;
        if (created_) created_(*s);
        reply(std::move(resp));
      },
      ServiceTable::Needs::Nothing);

  table.add<ActivateSessionRequest, ActivateSessionResponse>(
      [this](RequestContext& ctx, ActivateSessionRequest& req, const Reply<ActivateSessionResponse>& reply) {
        auto it = sessions_.find(req.requestHeader.authenticationToken);
        if (it == sessions_.end()) return reply.fault(Status::BadSessionIdInvalid);
        Session& s = *it->second;
        // The first activation comes over the channel that created the session.
        if (!s.activated && s.channelId != ctx.channelId)
          return reply.fault(Status::BadSecureChannelIdInvalid);
        const ExtensionObject& tok = req.userIdentityToken;
        SessionIdentity identity;
        // A missing token means anonymous; user names and certificates are not offered.
        if (tok.encoding == 0) {
          identity.policyId = kAnonymousPolicyId;
        } else {
          AnonymousIdentityToken anonymous;
          if (!fromExtensionObject(tok, anonymous)) return reply.fault(Status::BadIdentityTokenInvalid);
          identity.policyId = anonymous.policyId.empty() ? String(kAnonymousPolicyId) : anonymous.policyId;
        }
        if (identity.policyId != kAnonymousPolicyId) return reply.fault(Status::BadIdentityTokenInvalid);
        // Another channel takes the session over only with the identity it has now.
        if (s.activated && s.channelId != ctx.channelId && !(identity == s.identity))
          return reply.fault(Status::BadIdentityTokenRejected);
        s.identity = identity;
        s.channelId = ctx.channelId;
        s.connectionId = ctx.connectionId;
        s.activated = true;
        s.lastActivity = clock_();
        ActivateSessionResponse resp;
        resp.serverNonce = nonce();
        reply(std::move(resp));
      },
      ServiceTable::Needs::Nothing);

  table.add<CloseSessionRequest, CloseSessionResponse>(
      [this](RequestContext& ctx, CloseSessionRequest& req, const Reply<CloseSessionResponse>& reply) {
        auto it = sessions_.find(req.requestHeader.authenticationToken);
        if (it == sessions_.end()) return reply.fault(Status::BadSessionIdInvalid);
        if (it->second->channelId != ctx.channelId) return reply.fault(Status::BadSecureChannelIdInvalid);
        close(req.requestHeader.authenticationToken, req.deleteSubscriptions);
        reply(CloseSessionResponse{});
      },
      ServiceTable::Needs::Nothing);

  table.add<CancelRequest, CancelResponse>(
      [](RequestContext&, CancelRequest&, const Reply<CancelResponse>& reply) {
        reply(CancelResponse{});  // nothing we run can be cancelled midway
      });
}

}  // namespace zentarc::ua
