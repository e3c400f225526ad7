#pragma once
// The status window's text: one line per PLC in list order, holding the latest failure that
// PLC reported (the code's text and its name, and for a demoted PLC when it is tried next),
// empty while it works or has not reported. The log's lines and the dialog's PLC line.
#include <map>
#include <memory>
#include <string>

#include "server/plc/DeviceList.h"
#include "server/toolkit/BrokerView.h"
#include "server/plc/ErrorCatalogue.h"

namespace zentarc::shell {

// The latest code each PLC reported (0: working again).
using ReportedCodes = std::map<const PlcDevice*, unsigned>;

std::string buildStatusText(const DeviceList& devices, const ReportedCodes& codes,
                            const plc::ErrorCatalogue& catalogue);

// "not reachable, next try at HH:MM:SS" for a demoted PLC; empty otherwise.
std::string demotionText(const PlcStatus& status);

// One log line for a status message of a run without a window.
std::string statusLogLine(unsigned code, const PlcDevice& device, const plc::ErrorCatalogue& catalogue);

// The PLC's state now, for the Communication Status dialog: working, idle, failing with the
// code's text, or not reachable and when it is tried next.
std::string plcStateLine(const PlcDevice& device, const plc::ErrorCatalogue& catalogue);

// The status window's broker line: "MQTT: connected to URL, N published", or why not, with
// what waits and what was dropped.
std::string brokerStatusLine(const BrokerFigures& figures);

// The texts of error.dat beside the program, for a window or log that was given none.
std::unique_ptr<plc::ErrorCatalogue> loadDefaultCatalogue();

}  // namespace zentarc::shell
