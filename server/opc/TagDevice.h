#pragma once
// The PLC a tag belongs to, as the tag and its hooks see it: its name, and the queues they
// fill for the PLC's worker. The PLC side's device derives from it, so that tags need
// nothing of the PLC side.
#include <cstdint>
#include <string>
#include <string_view>

#include "server/opc/ServerQueues.h"
#include "server/toolkit/SOCmnObject.h"

namespace zentarc {

class TagDevice : public SOCmnObject {
 public:
  TagDevice(std::string_view deviceName, std::uint32_t objectType) : SOCmnObject(objectType), name(deviceName) {}

  // Completes every request still queued as failed (writes as not sent, with a
  // communication failure; reads out of service) and drops the activation records; with
  // queueLock held. For when nothing will take them any more.
  void failQueued();

  const std::string name;  // key in the device list
  DeviceQueues queues;     // under ServerQueues::queueLock

 protected:
  ~TagDevice() override = default;
};

}  // namespace zentarc
