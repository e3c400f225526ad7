#include "server/toolkit/ua/SessionManager.h"

#include <algorithm>
#include <cstring>

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

// Session ids and authentication tokens: whoever holds a token speaks for the session, so
// they come from the cryptographic generator.
Guid randomGuid() {
  const std::string r = crypto::randomBytes(16);
  Guid g;
  std::memcpy(&g.data1, r.data(), 4);
  std::memcpy(&g.data2, r.data() + 4, 2);
  std::memcpy(&g.data3, r.data() + 6, 2);
  std::memcpy(g.data4.data(), r.data() + 8, 8);
  return g;
}

// Counts a refused CreateSession or ActivateSession.
std::function<void(StatusCode)> refusalCounter(std::shared_ptr<ServerCounters> counters) {
  return [counters = std::move(counters)](StatusCode status) {
    ++counters->rejectedSessions;
    if (securityRefusal(status)) ++counters->securityRejectedSessions;
  };
}

}  // namespace

SessionManager::SessionManager(const UaServerConfig& config, std::shared_ptr<ServerCounters> counters, Clock clock)
    : config_(config),
      counters_(counters ? std::move(counters) : std::make_shared<ServerCounters>()),
      clock_(std::move(clock)),
      log_(config.security.log),
      throttle_(clock_),
      table_(config.limits.maxSessions, config.limits.maxSessionsPerClient),
      alive_(std::make_shared<bool>(true)) {
  if (config_.security.users) {
    passwords_ = std::make_unique<PasswordChecks>(config_.security.users);
    usersSeen_ = config_.security.users->refresh();
  }
}

SessionManager::~SessionManager() {
  *alive_ = false;
  passwords_.reset();  // joins the worker
}

void SessionManager::setHooks(CreatedHook created, ClosedHook closed) {
  created_ = std::move(created);
  closed_ = std::move(closed);
}

void SessionManager::logFailure(const std::string& peer, const std::string& text) {
  log_.event(peer, text + " from " + peer);
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
  table_.give(s->client, 1);
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
  counters_->sessionTimeouts += static_cast<uint32_t>(due.size());
  for (const NodeId& t : due) close(t, true);
}

bool SessionManager::evictOldestUnactivated(const std::string* client) {
  const Session* oldest = nullptr;
  for (const auto& [token, s] : sessions_)
    if (!s->activated && !s->activating && (!client || s->client == *client) &&
        (!oldest || s->createdAt < oldest->createdAt))
      oldest = s.get();
  if (!oldest) return false;
  ++counters_->sessionAborts;
  close(oldest->authenticationToken, true);
  return true;
}

bool SessionManager::evictAbandoned(const std::string* client) {
  if (!connectionOpen_) return false;
  const Session* idlest = nullptr;
  for (const auto& [token, s] : sessions_) {
    if (!s->activated || s->activating || (client && s->client != *client)) continue;
    if (connectionOpen_(s->connectionId) || (s->attachment && !s->attachment->holdsNothing())) continue;
    if (!idlest || s->lastActivity < idlest->lastActivity) idlest = s.get();
  }
  if (!idlest) return false;
  ++counters_->sessionAborts;
  close(idlest->authenticationToken, true);
  return true;
}

StatusCode SessionManager::makeRoom(const std::string& client) {
  // A client at its share makes room among its own sessions; a full table among everyone's
  // that nobody uses (yet, or any more).
  if (table_.shareUsed(client) && !evictOldestUnactivated(&client) && !evictAbandoned(&client))
    return Status::BadTooManySessions;
  if (table_.full() && !evictOldestUnactivated(nullptr) && !evictAbandoned(nullptr)) return Status::BadTooManySessions;
  return Status::Good;
}

void SessionManager::revoke(const NodeId& token, const std::string& why) {
  auto it = sessions_.find(token);
  if (it == sessions_.end()) return;
  const Session& s = *it->second;
  const std::string who = s.identity.type == UserTokenType::UserName
                              ? "of user " + SecurityLog::quoted(s.identity.userName)
                              : "of " + SecurityLog::quoted(s.clientDescription.applicationUri);
  log_.firstOf("ended " + s.sessionId.toString(), "", "session " + who + " ended: " + why);
  ++counters_->sessionAborts;
  close(token, true);
}

void SessionManager::recheckClients() {
  const ServerSecurity& security = config_.security;
  std::vector<std::pair<NodeId, std::string>> ending;
  if (security.pki) {
    for (const auto& [token, s] : sessions_) {
      if (!s->clientCertificate) continue;
      const StatusCode still = security.pki->recheck(s->clientCertificate);
      if (!still.isGood())
        ending.emplace_back(token, "its certificate " + SecurityLog::quoted(s->clientCertificate.commonName()) +
                                       " is no longer accepted (" + statusCodeName(still) + ")");
    }
  }
  if (security.users) {
    const uint64_t reading = security.users->refresh();
    if (reading != usersSeen_) {
      usersSeen_ = reading;
      for (const auto& [token, s] : sessions_) {
        if (!s->activated || s->identity.type != UserTokenType::UserName) continue;
        const std::optional<UserGrant> grant = security.users->current(s->identity.userName);
        if (!grant) ending.emplace_back(token, "the user is no longer in the users file");
        else if (grant->credential != s->credential) ending.emplace_back(token, "the user's password was changed");
        else s->mayWrite = grant->role == UserRole::Writer;
      }
    }
  }
  for (const auto& [token, why] : ending) revoke(token, why);
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

void SessionManager::createSession(RequestContext& ctx, CreateSessionRequest& req,
                                   const Reply<CreateSessionResponse>& reply) {
  if (!accepting_) return reply.fault(Status::BadShutdown);
  if (req.clientCertificate.data.size() > config_.limits.maxClientCertificateSize)
    return reply.fault(Status::BadCertificateInvalid);
  const ChannelInfo* channel = ctx.channel.get();
  const bool secure = channel && channel->secure();
  const ServerSecurity& security = config_.security;
  if (secure) {
    // The session belongs to the application that opened the channel: the same certificate,
    // and the application URI the certificate names.
    if (req.clientNonce.data.size() < 32 || req.clientNonce.data.size() > 128) return reply.fault(Status::BadNonceInvalid);
    const Certificate client = Certificate::fromDer(req.clientCertificate.data);
    if (!client || client.der() != channel->clientCertificate.der()) return reply.fault(Status::BadSecurityChecksFailed);
    if (client.applicationUri() != req.clientDescription.applicationUri) {
      logFailure(channel->peer, "session refused: certificate URI " + SecurityLog::quoted(client.applicationUri()) +
                                    " is not the application URI " + SecurityLog::quoted(req.clientDescription.applicationUri));
      return reply.fault(Status::BadCertificateUriInvalid);
    }
  }
  const std::string client = channel ? channel->client : std::string("address ?");
  const StatusCode room = makeRoom(client);
  if (!room.isGood()) return reply.fault(room);
  table_.take(client, 1);
  auto s = std::make_shared<Session>();
  s->client = client;
  s->sessionId = NodeId(1, randomGuid());
  s->authenticationToken = NodeId(1, randomGuid());
  s->name = bounded(req.sessionName, config_.limits.maxSessionNameLength);
  s->clientDescription = boundedDescription(req.clientDescription, config_.limits.maxClientTextLength);
  s->channelId = ctx.channelId;
  s->connectionId = ctx.connectionId;
  if (secure) {
    s->clientCertificate = channel->clientCertificate;
    s->clientThumbprint = channel->clientCertificate.thumbprint();
  }
  double requested = req.requestedSessionTimeout > 0 ? req.requestedSessionTimeout
                                                     : config_.limits.maxSessionTimeoutMs;
  s->timeoutMs = std::clamp(requested, config_.limits.minSessionTimeoutMs, config_.limits.maxSessionTimeoutMs);
  s->maxResponseMessageSize = req.maxResponseMessageSize;
  s->createdAt = clock_();
  s->lastActivity = s->createdAt;
  s->serverNonce = ByteString{crypto::randomBytes(32)};
  sessions_[s->authenticationToken] = s;
  ++counters_->cumulatedSessions;

  CreateSessionResponse resp;
  resp.sessionId = s->sessionId;
  resp.authenticationToken = s->authenticationToken;
  resp.revisedSessionTimeout = s->timeoutMs;
  resp.serverNonce = s->serverNonce;
  resp.serverEndpoints = serverEndpoints(config_, advertisedEndpointUrl(config_, req.endpointUrl));
  resp.maxRequestMessageSize = config_.limits.maxMessageSize;
  if (security.hasCertificate()) resp.serverCertificate = ByteString{security.pki->ownCertificate().der()};
  if (secure) {
    // We prove we hold our certificate's key: a signature over the client's certificate and nonce.
    resp.serverSignature.algorithm = channel->policy->asymmetricSignatureUri;
    resp.serverSignature.signature.data = crypto::rsaSign(security.pki->ownKey(), channel->policy->asymmetricSignature,
                                                          req.clientCertificate.data + req.clientNonce.data);
  }
  if (created_) created_(*s);
  reply(std::move(resp));
}

void SessionManager::registerServices(ServiceTable& table) {
  table.add<CreateSessionRequest, CreateSessionResponse>(
      [this](RequestContext& ctx, CreateSessionRequest& req, const Reply<CreateSessionResponse>& reply) {
        reply.observeFaults(refusalCounter(counters_));
        createSession(ctx, req, reply);
      },
      ServiceTable::Needs::Nothing);

  table.add<ActivateSessionRequest, ActivateSessionResponse>(
      [this](RequestContext& ctx, ActivateSessionRequest& req, const Reply<ActivateSessionResponse>& reply) {
        reply.observeFaults(refusalCounter(counters_));
        activateSession(ctx, req, reply);
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
