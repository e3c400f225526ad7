#include "server/plc/PlcDevice.h"

namespace zentarc {

PlcDevice::PlcDevice(std::string_view deviceName, std::string_view deviceAddressText)
    : SOCmnObject(kPlcDeviceObjectType), name(deviceName), addressText(deviceAddressText) {}

PlcDevice::~PlcDevice() = default;

}  // namespace zentarc
