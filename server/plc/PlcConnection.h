#pragma once
// One entry of the link's connection table: a PLC's address text and its channel.
#include <optional>
#include <string>

#include "server/plc/CpuStatus.h"
#include "server/plc/TcpChannel.h"

namespace zentarc::plc {

struct PlcConnection {
  std::string addressText;  // as configured; checked only when the PLC is selected
  TcpChannel channel;
  std::optional<CpuStatus> cpuStatus;  // as the PLC's last answer to a read or write gave it
};

}  // namespace zentarc::plc
