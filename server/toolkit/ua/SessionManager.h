#pragma once
// Sessions: CreateSession, ActivateSession (anonymous), CloseSession, Cancel, timeouts and the
// session limit. Lives on the server's IO thread.
//
// A session that was never activated lives briefly and gives way to a newcomer when the table
// is full, so clients that only create sessions cannot lock others out. A session moves to
// another secure channel only when the client shows the identity it activated with.
#include <functional>
#include <random>
#include <unordered_map>
#include <unordered_set>

#include "server/toolkit/ua/ServerLimits.h"
#include "server/toolkit/ua/ServiceTable.h"
#include "server/toolkit/ua/ServicesSession.h"

namespace zentarc::ua {

struct UaServerConfig;

class SessionManager {
 public:
  using CreatedHook = std::function<void(Session&)>;
  using ClosedHook = std::function<void(Session&, bool deleteSubscriptions)>;

  SessionManager(const UaServerConfig& config, Clock clock = &std::chrono::steady_clock::now);

  void registerServices(ServiceTable& table);
  void setHooks(CreatedHook created, ClosedHook closed);

  // The activated session that a request on `channelId` belongs to, or the status to refuse
  // it with (BadSessionIdInvalid, BadSessionNotActivated, BadSecureChannelIdInvalid).
  StatusCode resolve(const RequestHeader& header, uint32_t channelId,
                     std::shared_ptr<Session>& session);
  void closeExpired();
  void closeAll();
  void setAcceptingNew(bool accepting) { accepting_ = accepting; }
  size_t count() const { return sessions_.size(); }
  // The secure channels that carry at least one activated session.
  std::unordered_set<uint32_t> channelsWithActivatedSessions() const;

 private:
  void close(const NodeId& token, bool deleteSubscriptions);
  // Closes the oldest session that was never activated; false when there is none.
  bool evictOldestUnactivated();
  bool expired(const Session& s, SteadyTime now) const;
  ByteString nonce();

  const UaServerConfig& config_;
  Clock clock_;
  CreatedHook created_;
  ClosedHook closed_;
  bool accepting_ = true;
  std::mt19937_64 random_;
  std::unordered_map<NodeId, std::shared_ptr<Session>, NodeIdHash> sessions_;  // by auth token
};

}  // namespace zentarc::ua
