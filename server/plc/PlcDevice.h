#pragma once
// One configured PLC. Made by the configuration loader; numbered when the link is set up.
#include <cstdint>
#include <string>
#include <string_view>

#include "server/toolkit/SOCmnObject.h"

namespace zentarc {

inline constexpr std::uint32_t kPlcDeviceObjectType = 0x08000000;

class PlcDevice : public SOCmnObject {
 public:
  PlcDevice(std::string_view name, std::string_view addressText);

  std::uint16_t number = 0;       // 1-based position in the device list, 0 until numbered
  const std::string name;         // key in the device list
  const std::string addressText;  // the configured IP address text

 protected:
  ~PlcDevice() override;
};

}  // namespace zentarc
