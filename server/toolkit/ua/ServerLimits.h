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
};

}  // namespace zentarc::ua
