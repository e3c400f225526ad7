#pragma once
// One entry of the link's connection table: a PLC's address text and its channel.
#include <string>

#include "server/plc/TcpChannel.h"

namespace zentarc::plc {

struct PlcConnection {
  std::string addressText;  // as configured; checked only when the PLC is selected
  TcpChannel channel;
};

}  // namespace zentarc::plc
