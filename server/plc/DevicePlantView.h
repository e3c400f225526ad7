#pragma once
// The PLCs as the OPC UA address space shows them: their names in device-list order, the PLC
// of each tag, and each PLC's published status with the texts of error.dat. It holds its own
// references on the devices, so it may outlive the device list while serving winds down;
// status() copies a snapshot and never waits on a PLC.
#include <cstddef>
#include <unordered_map>
#include <vector>

#include "server/plc/DeviceList.h"
#include "server/plc/ErrorCatalogue.h"
#include "server/toolkit/PlantView.h"

namespace zentarc {

class DevicePlantView : public PlantView {
 public:
  // The catalogue must outlive the view; null gives no texts.
  DevicePlantView(const DeviceList& devices, const plc::ErrorCatalogue* catalogue);

  std::size_t plcCount() const override { return devices_.size(); }
  std::string plcName(std::size_t plc) const override;
  std::optional<std::size_t> plcOf(const SODaSTag& tag) const override;
  PlcDiagnostics diagnostics(std::size_t plc) const override;
  std::string resultText(std::uint32_t code) const override;

 private:
  std::vector<SOCmnPointer<PlcDevice>> devices_;
  std::unordered_map<const TagDevice*, std::size_t> index_;
  const plc::ErrorCatalogue* catalogue_;
};

}  // namespace zentarc
