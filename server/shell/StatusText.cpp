#include "server/shell/StatusText.h"

#include <cstdio>

namespace zentarc::shell {

namespace {

std::string codeText(unsigned code, const config::ErrorCatalogue& catalogue) {
  return catalogue.Text(code).value_or(std::string());
}

}  // namespace

std::string buildStatusText(const DeviceList& devices, const ReportedCodes& codes,
                            const config::ErrorCatalogue& catalogue) {
  std::string text;
  devices.lock();
  for (std::size_t i = 0; i < devices.getCount(); ++i) {
    const PlcDevice* device = devices.getIndex(i);
    const auto reported = codes.find(device);
    const unsigned code = reported == codes.end() ? 0 : reported->second;
    if (code != 0) text += codeText(code, catalogue) + " on " + device->name + "\n";
    else text += "\n";
  }
  devices.unlock();
  return text;
}

std::string statusLogLine(unsigned code, const PlcDevice& device, const config::ErrorCatalogue& catalogue) {
  if (code == 0) return "PLC " + device.name + ": communication working";
  return codeText(code, catalogue) + " on " + device.name + " (code " + std::to_string(code) + ")";
}

}  // namespace zentarc::shell
