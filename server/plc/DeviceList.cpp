#include "server/plc/DeviceList.h"

namespace zentarc {

void DeviceList::add(PlcDevice* device) {
  if (!device) return;
  // The list's own lock is taken inside add.
  list_.add(SOCmnPointer<PlcDevice>::share(device), device->name);
}

}  // namespace zentarc
