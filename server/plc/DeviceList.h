#pragma once
// The devices in load order, keyed by name, with the list's own lock. The list does not
// change once the configuration is loaded.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "server/plc/PlcDevice.h"
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

  // Numbers the devices 1..N in list order.
  void NumberDevices();
  // True when at least one device has a cyclic block (under the list's lock).
  bool AnyCyclicBlocks() const;

 private:
  SOCmnListHeader<PlcDevice> list_;
};

}  // namespace zentarc
