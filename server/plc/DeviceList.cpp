#include "server/plc/DeviceList.h"

#include <mutex>

namespace zentarc {

void DeviceList::add(PlcDevice* device) {
  if (!device) return;
  // The list's own lock is taken inside add.
  list_.add(SOCmnPointer<PlcDevice>::share(device), device->name);
}

void DeviceList::NumberDevices() {
  std::lock_guard guard(list_);
  for (std::size_t i = 0; i < list_.getCount(); ++i) list_.getIndex(i)->number = static_cast<std::uint16_t>(i + 1);
}

bool DeviceList::AnyCyclicBlocks() const {
  std::lock_guard guard(list_);
  for (std::size_t i = 0; i < list_.getCount(); ++i)
    if (!list_.getIndex(i)->cyclicBlocks.empty()) return true;
  return false;
}

}  // namespace zentarc
