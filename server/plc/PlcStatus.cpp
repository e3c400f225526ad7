#include "server/plc/PlcStatus.h"

namespace zentarc {

const char* plcStateName(PlcState state) {
  switch (state) {
    case PlcState::Idle: return "idle";
    case PlcState::Connecting: return "connecting";
    case PlcState::Working: return "working";
    case PlcState::Failing: return "failing";
    case PlcState::Demoted: return "demoted";
  }
  return "";
}

}  // namespace zentarc
