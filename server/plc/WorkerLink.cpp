#include "server/plc/WorkerLink.h"

namespace zentarc {

template <class Send>
plc::ResultCode WorkerLink::send(Send message) {
  if (stop_) {
    ++heldBack;
    return plc::kChannelNotOpen;
  }
  const plc::ResultCode code = message();
  if (code != plc::kConnectionLost || stop_) return code;
  ++retries;
  const plc::ResultCode connected = reconnect_();
  return connected == plc::kOk ? message() : connected;
}

plc::ResultCode WorkerLink::ReadRegisters(std::uint16_t count, std::uint16_t index, std::uint16_t* destination) {
  return send([&] { return link_.ReadRegisters(count, index, destination); });
}

plc::ResultCode WorkerLink::WriteRegisters(std::uint16_t count, std::uint16_t index, const std::uint16_t* source) {
  return send([&] { return link_.WriteRegisters(count, index, source); });
}

}  // namespace zentarc
