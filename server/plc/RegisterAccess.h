#pragma once
// Reading and writing runs of registers on the PLC that is selected now. The blocks talk to
// the PLC only through this, so their joining and piece rules can be checked against a
// register table in memory as well as against the real link.
#include <cstdint>

#include "server/plc/GeLink.h"
#include "server/plc/ResultCodes.h"

namespace zentarc {

class RegisterAccess {
 public:
  virtual ~RegisterAccess() = default;
  // count is 1..512; the result is a PLC-side result code.
  virtual plc::ResultCode ReadRegisters(std::uint16_t count, std::uint16_t index,
                                        std::uint16_t* destination) = 0;
  virtual plc::ResultCode WriteRegisters(std::uint16_t count, std::uint16_t index,
                                         const std::uint16_t* source) = 0;
};

// The process's GeLink as register access.
class LinkRegisterAccess : public RegisterAccess {
 public:
  explicit LinkRegisterAccess(plc::GeLink& link) : link_(link) {}
  plc::ResultCode ReadRegisters(std::uint16_t count, std::uint16_t index,
                                std::uint16_t* destination) override {
    return link_.ReadRegisters(count, index, destination);
  }
  plc::ResultCode WriteRegisters(std::uint16_t count, std::uint16_t index,
                                 const std::uint16_t* source) override {
    return link_.WriteRegisters(count, index, source);
  }

 private:
  plc::GeLink& link_;
};

}  // namespace zentarc
