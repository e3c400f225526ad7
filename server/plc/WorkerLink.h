#pragma once
// The link as a worker's blocks use it. Two rules sit here, under every block kind:
// - once a stop is asked, nothing more goes out (the message in flight still gets its
//   answer): a request not sent then fails with code 33 and is known to be unsent;
// - a message that finds its connection dropped by the PLC (code 3) is sent once more over
//   a new connection, so that a PLC that closes connections now and then costs a reconnect,
//   not a flicker of Bad values. A PLC that does not answer (code 4) is not asked twice.
#include <atomic>
#include <cstdint>
#include <functional>

#include "server/plc/GeLink.h"
#include "server/plc/RegisterAccess.h"

namespace zentarc {

class WorkerLink : public RegisterAccess {
 public:
  // reconnect: connects and handshakes afresh; its code.
  WorkerLink(plc::GeLink& link, const std::atomic<bool>& stop, std::function<plc::ResultCode()> reconnect)
      : link_(link), stop_(stop), reconnect_(std::move(reconnect)) {}

  plc::ResultCode ReadRegisters(std::uint16_t count, std::uint16_t index, std::uint16_t* destination) override;
  plc::ResultCode WriteRegisters(std::uint16_t count, std::uint16_t index, const std::uint16_t* source) override;

  // Messages sent a second time after a dropped connection, and messages held back by a
  // stop, since they were last taken.
  std::uint64_t retries = 0;
  std::uint64_t heldBack = 0;

 private:
  template <class Send>
  plc::ResultCode send(Send message);

  plc::GeLink& link_;
  const std::atomic<bool>& stop_;
  std::function<plc::ResultCode()> reconnect_;
};

}  // namespace zentarc
