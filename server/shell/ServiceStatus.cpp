#include "server/shell/ServiceStatus.h"

namespace zentarc::shell {

std::string plcStatusLine(std::size_t plcs, std::size_t failing) {
  return std::to_string(plcs) + (plcs == 1 ? " PLC, " : " PLCs, ") + std::to_string(failing) + " failing";
}

ServiceStatus::ServiceStatus(PlcStatusSink& next, Publish publish) : next_(next), publish_(std::move(publish)) {}

void ServiceStatus::setPlcCount(std::size_t plcs) {
  std::lock_guard g(mutex_);
  plcs_ = plcs;
}

std::string ServiceStatus::textLocked() const { return plcStatusLine(plcs_, failing_.size()); }

std::string ServiceStatus::text() const {
  std::lock_guard g(mutex_);
  return textLocked();
}

void ServiceStatus::sendMessage(PlcStatusMessage message, unsigned code, PlcDevice* device) {
  if (message == WM_PLC_STATUS && device) {
    std::string changed;
    {
      std::lock_guard g(mutex_);
      const bool was = failing_.count(device) != 0;
      if (code != 0) failing_.insert(device);
      else failing_.erase(device);
      if (was != (code != 0)) changed = textLocked();
    }
    if (!changed.empty() && publish_) publish_(changed);
  }
  next_.sendMessage(message, code, device);
}

}  // namespace zentarc::shell
