#pragma once
// The records that carry client work to the polling thread, and the three queues with the
// one queueLock that guards them (and every tag's activeItems, request completion and write
// preparation). The shell owns one ServerQueues for the process; tests make their own.
#include <condition_variable>
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

struct RequestRecord {
  SOCmnPointer<SODaSRequest> request;
  SOCmnPointer<PlcTag> tag;
};

// Recursive, as a critical section may be re-entered by the thread that holds it.
using QueueLock = std::recursive_mutex;

struct ServerQueues {
  QueueLock queueLock;
  std::vector<std::unique_ptr<ActivationRecord>> activationQueue;
  std::vector<std::unique_ptr<RequestRecord>> readQueue;
  std::vector<std::unique_ptr<RequestRecord>> writeQueue;
  // Notified after every append, so the polling thread's short wait ends when work arrives.
  std::condition_variable_any workQueued;
};

// Stable sort by the tags' register address, smallest first (records of tags at the same
// address keep their queue order). Call with queueLock held.
void sortActivations(std::vector<std::unique_ptr<ActivationRecord>>& queue);

}  // namespace zentarc
