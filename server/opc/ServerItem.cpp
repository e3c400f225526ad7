#include "server/opc/ServerItem.h"

#include <algorithm>
#include <mutex>

#include "server/opc/TagDevice.h"
#include "server/toolkit/SOCmnException.h"
#include "server/toolkit/SODaSGroup.h"

namespace zentarc {

ServerItem::ServerItem(std::shared_ptr<ServerQueues> queues) : queues_(std::move(queues)) {}

ServerItem::~ServerItem() = default;

void ServerItem::onSetActive(bool active) {
  SOCmnPointer<SODaSTag> tag = getItemTag();
  auto* plcTag = dynamic_cast<PlcTag*>(tag.get());
  if (!plcTag) return;
  const std::shared_ptr<ServerQueues> queues = queues_.lock();
  if (!queues || !plcTag->plc) return;  // shutting down: nothing polls any more
  std::uint32_t rate = 0;
  if (active) {
    if (SOCmnPointer<SODaSGroup> group = getParentBranch()) rate = group->getUpdateRate();
  }
  std::unique_ptr<ActivationRecord> record(SOCmnNew<ActivationRecord>());
  record->active = active ? 1 : 0;
  record->rateChanged = 0;
  record->updateRate = rate;
  record->tag = plcTag;
  // The PLC's worker reads activeItems under the same lock as the queue.
  std::lock_guard lock(queues->queueLock);
  if (!queues->accepting) return;  // polling has stopped
  auto& items = plcTag->activeItems;
  if (active) {
    activeIndex_ = items.size();
    items.push_back({this, rate});
  } else if (activeIndex_ < items.size() && items[activeIndex_].item == this) {
    // The last item takes this one's place: thousands of items on one tag leave in linear
    // time, and the list's order means nothing.
    items[activeIndex_] = items.back();
    items[activeIndex_].item->activeIndex_ = activeIndex_;
    items.pop_back();
  } else {
    std::erase_if(items, [this](const ActiveItem& a) { return a.item == this; });
  }
  DeviceQueues& deviceQueues = plcTag->plc->queues;
  deviceQueues.activationQueue.push_back(std::move(record));
  deviceQueues.workQueued.notify_all();
}

}  // namespace zentarc
