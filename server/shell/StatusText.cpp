#include "server/shell/StatusText.h"

#include <ctime>

namespace zentarc::shell {

namespace {

std::string codeText(unsigned code, const plc::ErrorCatalogue& catalogue) {
  return catalogue.Text(code).value_or(std::string());
}

std::string clockTime(std::chrono::system_clock::time_point t) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

}  // namespace

std::string demotionText(const PlcStatus& status) {
  if (status.state != PlcState::Demoted) return {};
  if (status.nextTry == std::chrono::system_clock::time_point{}) return "not reachable, tried again when next needed";
  return "not reachable, next try at " + clockTime(status.nextTry);
}

std::string buildStatusText(const DeviceList& devices, const ReportedCodes& codes,
                            const plc::ErrorCatalogue& catalogue) {
  std::string text;
  devices.lock();
  for (std::size_t i = 0; i < devices.getCount(); ++i) {
    const PlcDevice* device = devices.getIndex(i);
    const auto reported = codes.find(device);
    const unsigned code = reported == codes.end() ? 0 : reported->second;
    if (code != 0) {
      text += codeText(code, catalogue) + " on " + device->name;
      const PlcStatus status = device->status();
      if (status.lastResultCode == code && status.state == PlcState::Demoted) text += "; " + demotionText(status);
    }
    text += "\n";
  }
  devices.unlock();
  return text;
}

std::string statusLogLine(unsigned code, const PlcDevice& device, const plc::ErrorCatalogue& catalogue) {
  const PlcStatus status = device.status();
  const std::string flaps =
      status.failuresLastMinute > 1 ? std::to_string(status.failuresLastMinute) + " times in the last minute" : "";
  if (code == 0)
    return "PLC " + device.name + ": communication working" + (flaps.empty() ? "" : " again, after failing " + flaps);
  std::string line = codeText(code, catalogue) + " on " + device.name + " (code " + std::to_string(code) + ")";
  if (status.lastResultCode == code && status.state == PlcState::Demoted) line += "; " + demotionText(status);
  if (!flaps.empty()) line += "; failed " + flaps;
  return line;
}

std::string plcStateLine(const PlcDevice& device, const plc::ErrorCatalogue& catalogue) {
  const PlcStatus status = device.status();
  const std::string code =
      codeText(status.lastResultCode, catalogue) + " (code " + std::to_string(status.lastResultCode) + ")";
  switch (status.state) {
    case PlcState::Idle: return device.name + ": idle";
    case PlcState::Connecting: return device.name + ": connecting";
    case PlcState::Working: return device.name + ": working";
    case PlcState::Failing: return device.name + ": failing: " + code;
    case PlcState::Demoted: return device.name + ": " + demotionText(status) + "; last: " + code;
  }
  return device.name;
}

std::string brokerStatusLine(const BrokerFigures& f) {
  std::string line = f.connected ? "MQTT: connected to " + f.url + ", " + std::to_string(f.published) + " published"
                                 : "MQTT: not connected to " + f.url + (f.lastError.empty() ? "" : ": " + f.lastError);
  if (f.buffered) line += ", " + std::to_string(f.buffered) + " waiting";
  if (f.dropped) line += ", " + std::to_string(f.dropped) + " dropped";
  return line;
}

std::unique_ptr<plc::ErrorCatalogue> loadDefaultCatalogue() {
  auto catalogue = std::make_unique<plc::ErrorCatalogue>();
  catalogue->Load(plc::ErrorCatalogue::DefaultPath());
  return catalogue;
}

}  // namespace zentarc::shell
