#include "server/opc/ServerGroup.h"

#include <mutex>

#include "server/opc/ServerItem.h"
#include "server/opc/TagDevice.h"
#include "server/toolkit/SOCmnException.h"

namespace zentarc {

ServerGroup::ServerGroup(std::shared_ptr<ServerQueues> queues) : queues_(std::move(queues)) {}

ServerGroup::~ServerGroup() = default;

void ServerGroup::onSetUpdateRate(std::uint32_t newRate) {
  if (newRate == getUpdateRate()) return;
  const std::shared_ptr<ServerQueues> queues = queues_.lock();
  if (!queues) return;  // shutting down: nothing polls any more
  // Every item counts, active or not: the polling side moves the tag to the new rate.
  const auto& items = getLeafList();
  for (std::size_t i = 0; i < items.getCount(); ++i) {
    SODaSItem* item = items.getIndex(i);
    if (!item) continue;
    SOCmnPointer<SODaSTag> tag = item->getItemTag();
    auto* plcTag = dynamic_cast<PlcTag*>(tag.get());
    if (!plcTag || !plcTag->plc) continue;
    std::unique_ptr<ActivationRecord> record(SOCmnNew<ActivationRecord>());
    record->active = 0;
    record->rateChanged = 1;
    record->updateRate = newRate;
    record->tag = plcTag;
    std::lock_guard lock(queues->queueLock);
    if (!queues->accepting) return;  // polling has stopped
    // The tag's entry for this item carries the new rate, so the polling side can tell the
    // smallest rate over the tag's active items (another group may share it faster).
    for (ActiveItem& a : plcTag->activeItems)
      if (a.item == item) a.updateRate = newRate;
    DeviceQueues& deviceQueues = plcTag->plc->queues;
    deviceQueues.activationQueue.push_back(std::move(record));
    deviceQueues.workQueued.notify_all();
  }
}

}  // namespace zentarc
