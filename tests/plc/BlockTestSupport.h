#pragma once
// A device with tags for block tests, and the queued requests handed to it as the polling
// thread would.
#include <memory>
#include <mutex>
#include <string>

#include "server/opc/PlcTag.h"
#include "server/opc/ServerQueues.h"
#include "server/plc/PlcDevice.h"
#include "tests/plc/FakeRegisterAccess.h"

namespace zentarc::testsupport {

class BlockFixture {
 public:
  BlockFixture() : queues(std::make_shared<ServerQueues>()), device(new PlcDevice("PLC1", "127.0.4.1")) {
    device->setClock([this] { return tick; });
  }
  ~BlockFixture() {
    std::lock_guard lock(queues->queueLock);
    device->failQueued();  // a request left queued holds its tag, which holds the device
    device->ReleaseBlocks();
  }

  // address: 0-based, in the area's unit (a register, or a bit of a bit table).
  SOCmnPointer<PlcTag> tag(std::uint16_t address, VARTYPE vt = VT_I2, std::uint16_t count = 0,
                           std::uint16_t bit = 0, configfile::MemoryArea area = configfile::MemoryArea::R) {
    const std::string name = "T" + std::to_string(++made_);
    return SOCmnPointer<PlcTag>(new PlcTag(name, 3, vt, "", address, bit, count, device.get(), queues, area));
  }

  void queueWrites() {
    std::lock_guard lock(queues->queueLock);
    auto& queue = device->queues.writeQueue;
    for (auto& record : queue) device->QueueWrite(std::move(record));
    queue.clear();
  }
  void queueReads() {
    std::lock_guard lock(queues->queueLock);
    auto& queue = device->queues.readQueue;
    for (auto& record : queue) device->QueueRead(std::move(record));
    queue.clear();
  }
  void runWrites(plc::ResultCode selection = plc::kOk) {
    queueWrites();
    device->RunWrites(io, queues->queueLock, selection);
  }
  void runReads(plc::ResultCode selection = plc::kOk) {
    queueReads();
    device->RunReads(io, queues->queueLock, selection);
  }

  std::shared_ptr<ServerQueues> queues;
  SOCmnPointer<PlcDevice> device;
  FakeRegisterAccess io;
  std::uint32_t tick = 1000;

 private:
  int made_ = 0;
};

}  // namespace zentarc::testsupport
