#pragma once
// The OPC UA server: a listening socket, one IO thread that owns every connection, secure
// channel and session, and the service table that the service layer fills.
//
// Threading: handlers run on the IO thread. Other threads never touch connections; they
// answer through a Reply (thread-safe) or run work on the IO thread with post().
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "server/toolkit/Heartbeat.h"
#include "server/toolkit/ua/OutputBudget.h"
#include "server/toolkit/ua/ServerCounters.h"
#include "server/toolkit/ua/ServerLimits.h"
#include "server/toolkit/ua/ServiceTable.h"
#include "server/toolkit/ua/ServicesSubscription.h"
#include "server/toolkit/ua/security/ServerSecurity.h"

namespace zentarc::ua {

struct UaServerConfig {
  std::string endpointUrl = "opc.tcp://0.0.0.0:4840";
  std::string applicationUri = "urn:OPCZentarc";
  std::string productUri = "urn:OPCZentarc";
  std::string applicationName = "OPCZentarc";
  UaServerLimits limits;
  // Secure policies and anonymous reading unless the caller says otherwise; they need a
  // certificate (security.pki), or start() refuses.
  ServerSecurity security;
};

// Hooks into the rest of the server. All run on the IO thread.
struct UaServerHooks {
  // A session was created / is gone (closed, timed out, or closed at shutdown). The toolkit
  // counts its server objects with these; deleteSubscriptions as the client asked (true on
  // timeout and shutdown).
  std::function<void(Session&)> sessionCreated;
  std::function<void(Session&, bool deleteSubscriptions)> sessionClosed;
  // shutdownAllClients began: set ServerStatus to Shutdown with this reason.
  std::function<void(const std::string& reason, uint32_t secondsTillShutdown)> shutdownStarted;
  // A connection is gone: answers for it are dropped, so work for it may stop.
  std::function<void(uint64_t connectionId)> connectionClosed;
  // Called every tickIntervalMs on the IO thread (publishing timers, sampling).
  std::function<void()> tick;
  uint32_t tickIntervalMs = 10;
};

class UaServer {
 public:
  explicit UaServer(UaServerConfig config);
  ~UaServer();  // stops
  UaServer(const UaServer&) = delete;
  UaServer& operator=(const UaServer&) = delete;

  // Fill before start(); the session and discovery services are already there.
  ServiceTable& services();
  void setHooks(UaServerHooks hooks);

  // Binds and listens on the endpoint URL's host and port and starts the IO thread.
  // Good, or BadTcpEndpointUrlInvalid (bad URL) / BadResourceUnavailable (bind or listen
  // failed) / BadConfigurationError (secure policies without a certificate); errorText()
  // says why.
  StatusCode start();
  const std::string& errorText() const;
  uint16_t port() const;  // the bound port (useful with port 0)

  // Tells the clients we are going: the shutdownStarted hook, then `grace` for clients to
  // notice (skipped when no session is open), then every session is closed and every
  // connection dropped. Blocks until done.
  void shutdownAllClients(const std::string& reason,
                          std::chrono::milliseconds grace = std::chrono::milliseconds(1000));
  // Stops serving at once (closes sessions, connections and the socket) and joins the thread.
  void stop();

  // Runs fn on the IO thread (soon). Safe from any thread; dropped after stop().
  void post(std::function<void()> fn);
  size_t sessionCount() const;   // thread-safe
  size_t connectionCount() const;  // thread-safe
  // Thread-safe, as of the last loop: answers queued and not yet taken by their clients,
  // and bytes of partial requests held, over all connections.
  size_t queuedOutputBytes() const;
  size_t pendingInputBytes() const;
  // The longest the IO thread was busy in one turn of its loop (everyone else waited that
  // long) since the last call. Thread-safe.
  std::chrono::microseconds takeLongestTurn();
  const UaServerConfig& config() const;
  // The budget of answers not yet sent; for handlers on the IO thread only.
  OutputBudget& outputBudget();
  // Sessions and requests counted since the start, for the diagnostics.
  std::shared_ptr<const ServerCounters> counters() const;
  // Beats once per pass of the IO loop (a pass waits at most one tick interval for input).
  const Heartbeat& heartbeat() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zentarc::ua
