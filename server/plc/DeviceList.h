#pragma once
// The devices in load order, keyed by name, with the list's own lock; beside it the
// polling thread's rotation state.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "server/plc/GeLink.h"
#include "server/plc/PlcDevice.h"
#include "server/plc/ResultCodes.h"
#include "server/toolkit/SOCmnList.h"

namespace zentarc {

// Keyed by string, holding counted objects, with its own lock (0x4124), sizing 10 and 17.
inline constexpr SOCmnListConfig kDeviceListConfig{0x4124, 10, 17};

class DeviceList {
 public:
  DeviceList() : list_(kDeviceListConfig) {}

  // Appends under the list's lock; the list takes its own reference.
  void add(PlcDevice* device);
  std::size_t getCount() const { return list_.getCount(); }
  bool isEmpty() const { return list_.isEmpty(); }
  PlcDevice* getIndex(std::size_t index) const { return list_.getIndex(index); }  // borrowed
  PlcDevice* find(std::string_view name) const { return list_.findKey(name); }    // first match
  void lock() const { list_.lock(); }
  void unlock() const { list_.unlock(); }
  SOCmnListHeader<PlcDevice>& getList() { return list_; }

  // Numbers the devices 1..N in list order, makes the first current and none selected (the
  // rotation position stays), loads the error texts once, and sets up the link with the N
  // address texts. Returns Setup's code.
  plc::ResultCode Reinitialise(plc::GeLink& link);
  // True when at least one device has a cyclic block (under the list's lock).
  bool AnyCyclicBlocks() const;

  PlcDevice* currentDevice = nullptr;  // the device the polling thread serves
  std::uint32_t rotationPosition = 0;  // index of the current device
  std::uint16_t selectedNumber = 0;    // PLC last selected, 0 = none

 private:
  SOCmnListHeader<PlcDevice> list_;
};

}  // namespace zentarc
