#include "server/plc/RegisterAccess.h"

namespace zentarc {

namespace ge = plc::ge;

plc::ResultCode RegisterAccess::ReadMemory(std::uint8_t selector, ge::Unit unit, std::uint16_t index,
                                           std::uint16_t count, std::uint8_t* data) {
  if (selector != ge::kRegisterTable || unit != ge::Unit::Word || count == 0 || count > ge::kMaxRegisters)
    return plc::kInvalidArgument;
  std::uint16_t registers[ge::kMaxRegisters];
  const plc::ResultCode code = ReadRegisters(count, index, registers);
  if (code != plc::kOk) return code;
  for (std::uint16_t i = 0; i < count; ++i) ge::putWord(data + 2u * i, registers[i]);
  return plc::kOk;
}

plc::ResultCode RegisterAccess::WriteMemory(std::uint8_t selector, ge::Unit unit, std::uint16_t index,
                                            std::uint16_t count, const std::uint8_t* data) {
  if (selector != ge::kRegisterTable || unit != ge::Unit::Word || count == 0 || count > ge::kMaxRegisters)
    return plc::kInvalidArgument;
  std::uint16_t registers[ge::kMaxRegisters];
  for (std::uint16_t i = 0; i < count; ++i) registers[i] = ge::getWord(data + 2u * i);
  return WriteRegisters(count, index, registers);
}

}  // namespace zentarc
