#pragma once
// Sessions: CreateSession, ActivateSession, CloseSession, Cancel, timeouts and the session
// limit. Lives on the server's IO thread.
//
// On a secure channel the server signs the client's certificate and nonce, and the client
// signs ours; identities are anonymous (as the configuration allows) or a user name whose
// password is checked on a worker thread and sets the session's role; failed logins slow
// down further tries of that name from that address. A session that was never activated
// lives briefly and gives way to a newcomer when the table is full, and so does an
// activated one whose connection is gone and that holds nothing; each client has a share of
// the table, so clients that only create sessions cannot lock others out. A session moves to
// another secure channel only when the client shows the same certificate and identity. A
// client whose certificate or user entry is revoked loses its sessions.
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "server/toolkit/ua/ServerCounters.h"
#include "server/toolkit/ua/ServerLimits.h"
#include "server/toolkit/ua/ServiceTable.h"
#include "server/toolkit/ua/ServicesSession.h"
#include "server/toolkit/ua/SharedPool.h"
#include "server/toolkit/ua/security/LoginThrottle.h"
#include "server/toolkit/ua/security/PasswordChecks.h"
#include "server/toolkit/ua/security/SecurityLog.h"

namespace zentarc::ua {

struct UaServerConfig;

class SessionManager {
 public:
  using CreatedHook = std::function<void(Session&)>;
  using ClosedHook = std::function<void(Session&, bool deleteSubscriptions)>;
  using Poster = std::function<void(std::function<void()>)>;

  SessionManager(const UaServerConfig& config, std::shared_ptr<ServerCounters> counters,
                 Clock clock = &std::chrono::steady_clock::now);
  ~SessionManager();
  // How work from the password checks comes back to the IO thread.
  void setPoster(Poster post) { post_ = std::move(post); }
  // Whether a connection is still open (a session whose connection is gone may make room).
  void setConnectionCheck(std::function<bool(uint64_t)> open) { connectionOpen_ = std::move(open); }

  void registerServices(ServiceTable& table);
  void setHooks(CreatedHook created, ClosedHook closed);

  // The activated session that a request on `channelId` belongs to, or the status to refuse
  // it with (BadSessionIdInvalid, BadSessionNotActivated, BadSecureChannelIdInvalid).
  StatusCode resolve(const RequestHeader& header, uint32_t channelId,
                     std::shared_ptr<Session>& session);
  void closeExpired();
  void closeAll();
  // Ends the sessions of clients whose certificate is no longer trusted or valid, and of
  // users taken out of the users file or given another password; a user's new role applies
  // at once.
  void recheckClients();
  void setAcceptingNew(bool accepting) { accepting_ = accepting; }
  size_t count() const { return sessions_.size(); }
  // Logs a security event of a client at `peer` (rate-limited per address, except the
  // first one about a non-empty `key`).
  void securityEvent(const std::string& peer, const std::string& text, const std::string& key = {}) {
    if (key.empty()) log_.event(peer, text);
    else log_.firstOf(key, peer, text);
  }
  // The secure channels that carry at least one activated session.
  std::unordered_set<uint32_t> channelsWithActivatedSessions() const;

 private:
  void close(const NodeId& token, bool deleteSubscriptions);
  // Closes the oldest session that was never activated (of `client` only, when given);
  // false when there is none.
  bool evictOldestUnactivated(const std::string* client);
  // Closes the session idle longest of those activated whose connection is gone and that
  // hold nothing (of `client` only, when given); false when there is none.
  bool evictAbandoned(const std::string* client);
  // Makes room for a new session of `client`: Good, or BadTooManySessions.
  StatusCode makeRoom(const std::string& client);
  bool expired(const Session& s, SteadyTime now) const;
  // Ends a session the server no longer accepts, and says why in the log.
  void revoke(const NodeId& token, const std::string& why);

  void createSession(RequestContext& ctx, CreateSessionRequest& req, const Reply<CreateSessionResponse>& reply);
  void activateSession(RequestContext& ctx, ActivateSessionRequest& req, const Reply<ActivateSessionResponse>& reply);
  // The identity a token claims, with the password a UserName token carries (still
  // encrypted when `encrypted`); the status to refuse it with otherwise.
  StatusCode readIdentity(const RequestContext& ctx, const ExtensionObject& token, SessionIdentity& identity,
                          std::string& password, bool& encrypted);
  // Decrypts a UserName token's password for the session's nonce; the work is bounded first.
  StatusCode openPassword(const RequestContext& ctx, const Session& s, std::string& password);
  // Activates (or refuses) once the identity is known to hold; `grant` is empty for a refusal.
  void finishActivation(const NodeId& authToken, uint64_t connectionId, uint32_t channelId,
                        SessionIdentity identity, std::optional<UserGrant> grant, const std::string& peer,
                        const Reply<ActivateSessionResponse>& reply);
  void logFailure(const std::string& peer, const std::string& text);

  const UaServerConfig& config_;
  std::shared_ptr<ServerCounters> counters_;
  Clock clock_;
  CreatedHook created_;
  ClosedHook closed_;
  Poster post_;
  bool accepting_ = true;
  std::function<bool(uint64_t)> connectionOpen_;
  SecurityLog log_;
  LoginThrottle throttle_;
  SharedPool table_;       // sessions, by client
  uint64_t usersSeen_ = 0;  // the users file's reading the sessions were last checked against
  std::unique_ptr<PasswordChecks> passwords_;  // when user names are offered
  std::shared_ptr<bool> alive_;                // answers of password checks after us are dropped
  std::unordered_map<NodeId, std::shared_ptr<Session>, NodeIdHash> sessions_;  // by auth token
};

}  // namespace zentarc::ua
