#pragma once
// Limits of the OPC UA server, with defaults sized for a plant's handful of clients.
#include <chrono>
#include <cstdint>
#include <functional>

namespace zentarc::ua {

using SteadyTime = std::chrono::steady_clock::time_point;
using Clock = std::function<SteadyTime()>;

struct UaServerLimits {
  uint32_t maxConnections = 100;
  uint32_t maxSessions = 100;
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
  // Partial (multi-chunk) requests of all connections together.
  size_t maxPendingInputBytes = 64u * 1024 * 1024;
  // Answers a client has not read yet: beyond the first bound we stop reading its requests
  // until it catches up; beyond the second it is dropped; the third bounds all clients
  // together (the largest backlog is dropped first).
  size_t outputPauseBytes = 1u * 1024 * 1024;
  size_t maxQueuedOutputPerConnection = 24u * 1024 * 1024;
  size_t maxQueuedOutputTotal = 96u * 1024 * 1024;
  // Client-chosen texts kept for a session's life.
  uint32_t maxSessionNameLength = 256;
  uint32_t maxClientTextLength = 1024;   // application URI, product URI and name
  uint32_t maxClientCertificateSize = 32u * 1024;
};

}  // namespace zentarc::ua
