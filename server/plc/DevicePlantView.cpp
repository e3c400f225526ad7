#include "server/plc/DevicePlantView.h"

#include "server/opc/PlcTag.h"

namespace zentarc {

DevicePlantView::DevicePlantView(const DeviceList& devices, const plc::ErrorCatalogue* catalogue)
    : catalogue_(catalogue) {
  devices.lock();
  for (std::size_t i = 0; i < devices.getCount(); ++i) {
    PlcDevice* device = devices.getIndex(i);
    devices_.push_back(SOCmnPointer<PlcDevice>::share(device));
    index_.emplace(device, i);  // with two devices of one name, each is still its own
  }
  devices.unlock();
}

std::string DevicePlantView::plcName(std::size_t plc) const { return devices_.at(plc)->name; }

std::optional<std::size_t> DevicePlantView::plcOf(const SODaSTag& tag) const {
  const auto* plcTag = dynamic_cast<const PlcTag*>(&tag);
  if (!plcTag) return std::nullopt;
  const auto it = index_.find(plcTag->device());
  if (it == index_.end()) return std::nullopt;
  return it->second;
}

PlcDiagnostics DevicePlantView::diagnostics(std::size_t plc) const {
  const PlcStatus s = devices_.at(plc)->status();
  PlcDiagnostics d;
  d.state = plcStateName(s.state);
  d.failing = s.state == PlcState::Failing || s.state == PlcState::Demoted;
  d.connected = s.connected;
  d.lastResultCode = s.lastResultCode;
  d.lastChange = s.lastChange;
  d.messagesSent = s.messagesSent;
  d.messagesFailed = s.messagesFailed;
  d.reconnects = s.reconnects;
  d.scanPeriodMs = s.scanPeriodMs;
  d.polledBlocks = s.polledBlocks;
  d.polledTags = s.polledTags;
  if (s.cpu) {
    d.cpuState = plc::cpuStateText(s.cpu->stateCode());
    d.cpuRunning = s.cpu->running();
    d.sweepTimeMs = s.cpu->sweepTimeMs;
    d.plcStatusWord = s.cpu->statusWord;
  }
  return d;
}

std::string DevicePlantView::resultText(std::uint32_t code) const {
  if (!catalogue_) return {};
  return catalogue_->Text(code).value_or(std::string());
}

}  // namespace zentarc
