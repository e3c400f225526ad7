#pragma once
// Register access that keeps account of its messages: how many went out, how many failed,
// the last failure, and whether any succeeded since begin(). A worker runs every message
// through it, so that each step's outcome and the PLC's figures are known.
#include <cstdint>

#include "server/plc/RegisterAccess.h"

namespace zentarc {

class TrackedAccess : public RegisterAccess {
 public:
  explicit TrackedAccess(RegisterAccess& inner) : inner_(inner) {}

  plc::ResultCode ReadRegisters(std::uint16_t count, std::uint16_t index, std::uint16_t* destination) override {
    return track(inner_.ReadRegisters(count, index, destination));
  }
  plc::ResultCode WriteRegisters(std::uint16_t count, std::uint16_t index, const std::uint16_t* source) override {
    return track(inner_.WriteRegisters(count, index, source));
  }
  plc::ResultCode ReadMemory(std::uint8_t selector, plc::ge::Unit unit, std::uint16_t index, std::uint16_t count,
                             std::uint8_t* data) override {
    return track(inner_.ReadMemory(selector, unit, index, count, data));
  }
  plc::ResultCode WriteMemory(std::uint8_t selector, plc::ge::Unit unit, std::uint16_t index, std::uint16_t count,
                              const std::uint8_t* data) override {
    return track(inner_.WriteMemory(selector, unit, index, count, data));
  }

  // Starts a step: forgets the last failure and success, keeps the counts.
  void begin() {
    failure = plc::kOk;
    succeeded = false;
  }

  plc::ResultCode failure = plc::kOk;  // the step's last failure
  bool succeeded = false;              // some message of the step succeeded
  std::uint64_t sent = 0;
  std::uint64_t failed = 0;

 private:
  plc::ResultCode track(plc::ResultCode code) {
    ++sent;
    if (code == plc::kOk) {
      succeeded = true;
    } else {
      failure = code;
      ++failed;
    }
    return code;
  }
  RegisterAccess& inner_;
};

}  // namespace zentarc
