#include "server/plc/WriteBlock.h"

#include "server/plc/AreaRuns.h"

namespace zentarc {

void WriteBlock::beginPreparation() { filled_.assign(length, false); }

bool WriteBlock::isFilled(std::uint32_t reg) const {
  if (reg < firstRegister) return false;
  const std::uint32_t offset = reg - firstRegister;
  return offset < filled_.size() && filled_[offset];
}

void WriteBlock::markFilled(std::uint32_t first, std::uint32_t span) {
  for (std::uint32_t r = first; r < first + span; ++r) {
    const std::uint32_t offset = r - firstRegister;
    if (r >= firstRegister && offset < filled_.size()) filled_[offset] = true;
  }
}

plc::ResultCode WriteBlock::writeFilled(RegisterAccess& io) {
  for (std::uint32_t first = 0; first < length;) {
    if (!isFilled(firstRegister + first)) {
      ++first;
      continue;
    }
    std::uint32_t end = first + 1;
    while (end < length && isFilled(firstRegister + end)) ++end;
    const plc::ResultCode code = writeAreaRun(io, area, unit, firstRegister + first, end - first, at(firstRegister + first));
    if (code != plc::kOk) return code;
    first = end;
  }
  return plc::kOk;
}

}  // namespace zentarc
