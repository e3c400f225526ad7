#pragma once
// Limits of the attribute, view and subscription services. The defaults suit a plant server
// with tens of clients and tens of thousands of tags; every service checks them first. Pools
// that all clients share have a bound for all and a share per client (its certificate, or
// its address without security): half of each by default, so that one application, however
// many sessions it opens, leaves the other half to the rest.
#include <cstddef>
#include <cstdint>

namespace zentarc::ua {

struct ServiceLimits {
  uint32_t maxNodesPerRead = 10000;
  uint32_t maxNodesPerWrite = 1000;
  uint32_t maxNodesPerBrowse = 1000;
  uint32_t maxNodesPerRegisterNodes = 1000;
  uint32_t maxNodesPerTranslate = 1000;
  uint32_t maxMonitoredItemsPerCall = 2000;    // a few ms of the IO thread each
  uint32_t maxReferencesPerBrowse = 1000;       // per node, when the client asks for more
  uint16_t maxBrowseContinuationPoints = 10;    // per session
  uint32_t maxSubscriptionsPerSession = 50;
  uint32_t maxSubscriptions = 500;
  uint32_t maxSubscriptionsPerClient = 250;
  uint32_t maxMonitoredItemsPerSubscription = 50000;
  uint32_t maxMonitoredItems = 100000;        // all sessions: about 1 KB of memory each
  uint32_t maxMonitoredItemsPerClient = 50000;
  uint32_t maxPublishRequestsPerSession = 10;
  uint32_t maxRetransmissionQueue = 100;        // unacknowledged messages per subscription
  uint32_t maxNotificationsPerPublish = 20000;  // when the client leaves it open (0)
  uint32_t maxQueueSize = 1000;                 // per monitored item
  // Values waiting in monitored items' queues beyond the one each item keeps anyway, and
  // messages kept for Republish: the bytes of all clients, and of one. A queue gets what
  // fits (its revised size says so); the oldest kept messages go first.
  size_t maxQueuedValueBytes = 64u * 1024 * 1024;
  size_t maxQueuedValueBytesPerClient = 32u * 1024 * 1024;
  double minPublishingIntervalMs = 50;
  double maxPublishingIntervalMs = 3'600'000;
  double minSamplingIntervalMs = 50;
  double maxSamplingIntervalMs = 3'600'000;
  uint32_t maxKeepAliveCount = 10000;
  uint32_t maxLifetimeCount = 100000;
  uint32_t defaultDeviceTimeoutMs = 10000;      // writes without timeoutHint
  uint32_t defaultDeviceReadTimeoutMs = 5000;   // Reads from the device without timeoutHint
  uint32_t maxDeviceTimeoutMs = 60000;          // however long a client's timeoutHint
  uint32_t maxDeviceOperationsPerSession = 32;  // Reads from the device and Writes not yet answered
  uint32_t maxDeviceOperations = 1000;          // the same, all sessions together
  uint32_t maxDeviceOperationsPerClient = 500;
  // What the values of one Read may take in memory (the tags' sizes tell beforehand).
  size_t maxReadResponseBytes = 64u * 1024 * 1024;
  // Monitored items of deleted subscriptions (and closed sessions) are taken apart this
  // many per tick, so a huge subscription never stalls the other clients.
  uint32_t teardownItemsPerTick = 2000;
  uint32_t maxArrayLength = 65535;
  uint32_t maxStringLength = 65535;
};

}  // namespace zentarc::ua
