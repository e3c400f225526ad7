#include "server/plc/CpuStatus.h"

namespace zentarc::plc {

const char* cpuStateText(unsigned stateCode) {
  switch (stateCode) {
    case 0: return "run, outputs enabled";
    case 1: return "run, outputs disabled";
    case 2: return "stop, outputs disabled";
    case 3: return "stop, faulted";
    case 4: return "halted";
    case 5: return "suspended";
    case 6: return "stop, outputs enabled";
    default: return kCpuStateUnknown;
  }
}

}  // namespace zentarc::plc
