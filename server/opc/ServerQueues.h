#pragma once
// The records that carry client work to the PLC workers, the queues of one PLC, and the one
// queueLock that guards every PLC's queues (and every tag's activeItems, request completion
// and the cyclic blocks the status dialog reads). The shell owns one ServerQueues for the
// process; tests make their own.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "server/opc/PlcTag.h"
#include "server/toolkit/SODaSRequest.h"

namespace zentarc {

struct ActivationRecord {
  std::uint32_t active = 0;       // 1: an item on the tag was activated
  std::uint32_t rateChanged = 0;  // 1: a group holding the tag changed its rate
  std::uint32_t updateRate = 0;   // ms; 0 for a deactivation
  PlcTag* tag = nullptr;          // tags live as long as the namespace
};

struct ServerQueues;

// A client's device read or write on its way through a PLC's worker. Queued or in the
// worker's blocks, it takes memory: it counts against the server's bound until the worker
// drops it, not only until the worker takes it.
struct RequestRecord {
  RequestRecord() = default;
  ~RequestRecord();  // gives back its place in countedIn's bound
  RequestRecord(const RequestRecord&) = delete;
  RequestRecord& operator=(const RequestRecord&) = delete;

  SOCmnPointer<SODaSRequest> request;
  SOCmnPointer<PlcTag> tag;
  std::shared_ptr<ServerQueues> countedIn;  // whose queuedRequests it holds a place in (or none)
};

// Recursive, as a critical section may be re-entered by the thread that holds it.
using QueueLock = std::recursive_mutex;

// What the hooks fill for one PLC's worker, under queueLock. Each PLC has its own, so that
// a client's request for one PLC never waits behind another's.
struct DeviceQueues {
  std::vector<std::unique_ptr<ActivationRecord>> activationQueue;
  std::vector<std::unique_ptr<RequestRecord>> readQueue;
  std::vector<std::unique_ptr<RequestRecord>> writeQueue;
  // Notified after every append, so that the worker's wait ends when work arrives.
  std::condition_variable_any workQueued;

  bool empty() const { return activationQueue.empty() && readQueue.empty() && writeQueue.empty(); }
};

// Device reads and writes held over all PLCs at most (queued, or waiting in a worker's
// blocks): beyond it a request fails at once, so that no client can fill memory with
// requests for a PLC that does not answer.
inline constexpr std::size_t kMaxQueuedRequests = 65536;

struct ServerQueues {
  QueueLock queueLock;
  // Device reads and writes queued or in a worker's blocks: counted up under queueLock when
  // queued, down wherever a worker drops the record.
  std::atomic<std::size_t> queuedRequests{0};
  // Cleared when polling has stopped (under queueLock): from then on nothing is queued, and
  // device reads and writes fail at once.
  bool accepting = true;
};

// Stable sort by the tags' memory area and address in it, smallest first (records of tags at
// the same address keep their queue order). Call with queueLock held.
void sortActivations(std::vector<std::unique_ptr<ActivationRecord>>& queue);

}  // namespace zentarc
