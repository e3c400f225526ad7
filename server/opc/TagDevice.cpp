#include "server/opc/TagDevice.h"

namespace zentarc {

void TagDevice::failQueued() {
  for (auto* queue : {&queues.writeQueue, &queues.readQueue}) {
    // A write that never went out fails as one the PLC could not be reached for.
    const std::uint16_t quality = queue == &queues.writeQueue ? OPC_QUALITY_COMM_FAILURE : OPC_QUALITY_OUT_OF_SERVICE;
    for (auto& record : *queue) record->request->complete(E_FAIL, true, quality, false, true);
    queue->clear();
  }
  queues.activationQueue.clear();
}

}  // namespace zentarc
