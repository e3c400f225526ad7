#pragma once
// Writes that clients asked for, gathered into one run of registers; run once and destroyed.
#include <cstdint>
#include <memory>
#include <vector>

#include "server/opc/ServerQueues.h"
#include "server/plc/RegisterBlock.h"

namespace zentarc {

class WriteBlock : public RegisterBlock {
 public:
  using RegisterBlock::RegisterBlock;
  std::vector<std::unique_ptr<RequestRecord>> records;  // in queue order; the last write wins
  bool holdsBits = false;  // booleans of one register (or a boolean array): nothing else joins

  // While the block is prepared: which registers an earlier record has already filled, so
  // that a later record's read-before-write of the same register keeps that value.
  void beginPreparation();
  bool isFilled(std::uint32_t reg) const;
  void markFilled(std::uint32_t first, std::uint32_t span);
  // Writes each run of filled registers in turn (the whole block when every record stayed);
  // stops at the first failure and returns its code.
  plc::ResultCode writeFilled(RegisterAccess& io);

 private:
  std::vector<bool> filled_;
};

}  // namespace zentarc
