#pragma once
// Register access that keeps account of its messages: how many went out, how many failed,
// the last failure, and whether any succeeded since begin(). A worker runs every message
// through it, so that each step's outcome and the PLC's figures are known, and its heartbeat
// beats at every message: a worker waiting on a slow PLC is alive.
#include <chrono>
#include <cstdint>

#include "server/plc/ReadCost.h"
#include "server/plc/RegisterAccess.h"
#include "server/toolkit/Heartbeat.h"

namespace zentarc {

class TrackedAccess : public RegisterAccess {
 public:
  // With a cost, the time of every read answered is recorded in it; with a heartbeat, it
  // beats after every message.
  explicit TrackedAccess(RegisterAccess& inner, ReadCost* cost = nullptr, Heartbeat* heartbeat = nullptr)
      : inner_(inner), cost_(cost), heartbeat_(heartbeat) {}

  plc::ResultCode ReadRegisters(std::uint16_t count, std::uint16_t index, std::uint16_t* destination) override {
    const auto started = std::chrono::steady_clock::now();
    const plc::ResultCode code = inner_.ReadRegisters(count, index, destination);
    if (cost_ && code == plc::kOk)
      cost_->record(count, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started));
    return track(code);
  }
  plc::ResultCode WriteRegisters(std::uint16_t count, std::uint16_t index, const std::uint16_t* source) override {
    return track(inner_.WriteRegisters(count, index, source));
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
    if (heartbeat_) heartbeat_->beat();
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
  ReadCost* cost_;
  Heartbeat* heartbeat_;
};

}  // namespace zentarc
