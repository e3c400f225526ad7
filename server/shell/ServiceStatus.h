#pragma once
// The service's status line for systemd ("3 PLCs, 1 failing"), kept from the PLC workers'
// reports on their way to the window: a PLC counts as failing from a report of a
// failure on it until a report that it works again.
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "server/plc/PlcStatusSink.h"

namespace zentarc::shell {

class ServiceStatus : public PlcStatusSink {
 public:
  using Publish = std::function<void(const std::string& text)>;

  // Reports go on to `next` after the count; `publish` gets each changed text.
  ServiceStatus(PlcStatusSink& next, Publish publish);

  void setPlcCount(std::size_t plcs);
  void sendMessage(PlcStatusMessage message, unsigned code, PlcDevice* device) override;
  std::string text() const;

 private:
  std::string textLocked() const;

  PlcStatusSink& next_;
  Publish publish_;
  mutable std::mutex mutex_;
  std::size_t plcs_ = 0;
  std::set<const PlcDevice*> failing_;
};

// "1 PLC, 0 failing", "3 PLCs, 1 failing".
std::string plcStatusLine(std::size_t plcs, std::size_t failing);

}  // namespace zentarc::shell
