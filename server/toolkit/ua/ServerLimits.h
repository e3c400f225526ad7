#pragma once
// Limits of the OPC UA server, with defaults sized for a plant's handful of clients. Pools
// that every client draws from have a bound for all and a share per client (its
// certificate, or its address on a channel without security), so that one client cannot
// take what the others need.
#include <chrono>
#include <cstdint>
#include <functional>

namespace zentarc::ua {

using SteadyTime = std::chrono::steady_clock::time_point;
using Clock = std::function<SteadyTime()>;

struct UaServerLimits {
  uint32_t maxConnections = 100;
  uint32_t maxSessions = 100;
  uint32_t maxSessionsPerClient = 50;
  uint32_t receiveBufferSize = 65536;        // our chunk size limit for incoming chunks
  uint32_t sendBufferSize = 65536;
  uint32_t maxMessageSize = 16u * 1024 * 1024;  // whole request or response
  uint32_t maxChunkCount = 1024;
  double minSessionTimeoutMs = 10'000;
  double maxSessionTimeoutMs = 3'600'000;
  uint32_t minTokenLifetimeMs = 10'000;
  uint32_t maxTokenLifetimeMs = 3'600'000;
  uint32_t helloTimeoutMs = 10'000;          // from accept to a valid Hello and OpenSecureChannel
  uint32_t chunksPerTurn = 4;                // handled per connection before the next one's turn

  // What a client can make us hold before it has proved anything.
  // A channel with no activated session is closed after this long; when the connection
  // table is full, the one longest without a session makes room for a newcomer.
  uint32_t channelWithoutSessionTimeoutMs = 10'000;
  // A session not activated this long after CreateSession (or its own timeout, if shorter)
  // is closed; when the session table is full, the oldest such session makes room.
  uint32_t unactivatedSessionTimeoutMs = 10'000;
  // Partial (multi-chunk) requests of all connections together, and of one address: a
  // quarter, room for one request of the largest size, so that it takes four peers to fill
  // what everybody's large requests share.
  size_t maxPendingInputBytes = 64u * 1024 * 1024;
  size_t maxPendingInputPerAddress = 16u * 1024 * 1024;
  // Answers a client has not read yet: beyond the first bound we stop reading its requests
  // until it catches up; beyond the second it is dropped. The output budget bounds all
  // clients together, and each client's share of it: it counts what connections have not
  // sent yet and what answers under way (device reads) will take. Connections that read
  // nothing are dropped, largest backlog first, before the budget is gone.
  size_t outputPauseBytes = 1u * 1024 * 1024;
  size_t maxQueuedOutputPerConnection = 24u * 1024 * 1024;
  size_t maxQueuedOutputTotal = 96u * 1024 * 1024;
  size_t maxQueuedOutputPerClient = 48u * 1024 * 1024;
  // Client-chosen texts kept for a session's life.
  uint32_t maxSessionNameLength = 256;
  uint32_t maxClientTextLength = 1024;   // application URI, product URI and name
  uint32_t maxClientCertificateSize = 32u * 1024;
  // A channel without security that may only discover carries small requests only; so do
  // the session services (CreateSession, ActivateSession, ...) on any channel.
  uint32_t maxDiscoveryMessageSize = 64u * 1024;
  uint32_t maxSessionRequestSize = 64u * 1024;
  uint32_t maxEndpointUrlLength = 4096;
  // RSA work a client can ask of us is bounded before it is done: the encrypted part of an
  // OpenSecureChannel, and of a password, in cipher blocks of our key.
  uint32_t maxOpenSecureChannelBlocks = 8;
  uint32_t maxPasswordBlocks = 4;
  // The IO thread leaves the input of the connections it has not reached for its next turn
  // once a turn has taken this long, so that nobody waits for one client's burst.
  uint32_t turnBudgetMs = 20;
  // How often trust lists and the users file are looked at for revoked clients.
  uint32_t revocationCheckMs = 1000;
};

}  // namespace zentarc::ua
