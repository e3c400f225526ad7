#include "server/opc/TagDevice.h"

#include <algorithm>

namespace zentarc {

void TagDevice::failQueued(ServerQueues& serverQueues) {
  for (auto* queue : {&queues.writeQueue, &queues.readQueue}) {
    serverQueues.queuedRequests -= std::min(serverQueues.queuedRequests, queue->size());
    for (auto& record : *queue) record->request->complete(E_FAIL, true, OPC_QUALITY_OUT_OF_SERVICE, false, true);
    queue->clear();
  }
  queues.activationQueue.clear();
}

}  // namespace zentarc
