#include "server/plc/DeviceList.h"

#include <mutex>
#include <string>
#include <vector>

#include "server/config/ErrorCatalogue.h"

namespace zentarc {

void DeviceList::add(PlcDevice* device) {
  if (!device) return;
  // The list's own lock is taken inside add.
  list_.add(SOCmnPointer<PlcDevice>::share(device), device->name);
}

plc::ResultCode DeviceList::Reinitialise(plc::GeLink& link) {
  std::vector<std::string> addressTexts;
  {
    std::lock_guard guard(list_);
    const std::size_t count = list_.getCount();
    addressTexts.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      PlcDevice* device = list_.getIndex(i);
      device->number = static_cast<std::uint16_t>(i + 1);
      addressTexts.push_back(device->addressText);
    }
    currentDevice = list_.getIndex(0);
    selectedNumber = 0;
  }
  // Read once per process; later calls find the texts loaded.
  config::ErrorCatalogue::Process().Load(config::ErrorCatalogue::DefaultPath());
  return link.Setup(addressTexts);
}

bool DeviceList::AnyCyclicBlocks() const {
  std::lock_guard guard(list_);
  for (std::size_t i = 0; i < list_.getCount(); ++i)
    if (!list_.getIndex(i)->cyclicBlocks.empty()) return true;
  return false;
}

}  // namespace zentarc
