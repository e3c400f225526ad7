#pragma once
// The status window's text after a PLC status message: one line per PLC in list order,
// empty except the line of the PLC that reported, which holds the code's text and its name.
#include <string>

#include "server/config/ErrorCatalogue.h"
#include "server/plc/DeviceList.h"

namespace zentarc::shell {

std::string buildStatusText(const DeviceList& devices, unsigned code, const PlcDevice* reporting,
                            const config::ErrorCatalogue& catalogue);

// One log line for a status message of a run without a window.
std::string statusLogLine(unsigned code, const PlcDevice& device, const config::ErrorCatalogue& catalogue);

}  // namespace zentarc::shell
