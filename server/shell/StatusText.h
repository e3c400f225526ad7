#pragma once
// The status window's text: one line per PLC in list order, holding the latest failure that
// PLC reported (the code's text and its name), empty while it works or has not reported.
#include <map>
#include <string>

#include "server/config/ErrorCatalogue.h"
#include "server/plc/DeviceList.h"

namespace zentarc::shell {

// The latest code each PLC reported (0: working again).
using ReportedCodes = std::map<const PlcDevice*, unsigned>;

std::string buildStatusText(const DeviceList& devices, const ReportedCodes& codes,
                            const config::ErrorCatalogue& catalogue);

// One log line for a status message of a run without a window.
std::string statusLogLine(unsigned code, const PlcDevice& device, const config::ErrorCatalogue& catalogue);

}  // namespace zentarc::shell
