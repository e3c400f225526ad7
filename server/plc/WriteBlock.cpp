#include "server/plc/WriteBlock.h"

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

}  // namespace zentarc
