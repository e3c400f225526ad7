#pragma once
// Reading and writing runs of registers (and of the other memory areas) on the PLC that is
// selected now. The blocks talk to the PLC only through this, so their joining and piece
// rules can be checked against a register table in memory as well as against the real link.
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
  // Any area: `count` units of `unit` of the area `selector` from the 0-based index; the
  // data is ge::dataBytes(unit, index, count) bytes, at most 1024. Unless overridden only the
  // register table (word selector 0x08) is reached, through the calls above.
  virtual plc::ResultCode ReadMemory(std::uint8_t selector, plc::ge::Unit unit, std::uint16_t index,
                                     std::uint16_t count, std::uint8_t* data);
  virtual plc::ResultCode WriteMemory(std::uint8_t selector, plc::ge::Unit unit, std::uint16_t index,
                                      std::uint16_t count, const std::uint8_t* data);
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
  plc::ResultCode ReadMemory(std::uint8_t selector, plc::ge::Unit unit, std::uint16_t index, std::uint16_t count,
                             std::uint8_t* data) override {
    return link_.ReadMemory(selector, unit, index, count, data);
  }
  plc::ResultCode WriteMemory(std::uint8_t selector, plc::ge::Unit unit, std::uint16_t index, std::uint16_t count,
                              const std::uint8_t* data) override {
    return link_.WriteMemory(selector, unit, index, count, data);
  }

 private:
  plc::GeLink& link_;
};

}  // namespace zentarc
