#pragma once
// Device reads that clients asked for, gathered by register; run once and destroyed.
#include <memory>
#include <vector>

#include "server/opc/ServerQueues.h"
#include "server/plc/RegisterBlock.h"

namespace zentarc {

class ReadBlock : public RegisterBlock {
 public:
  using RegisterBlock::RegisterBlock;
  std::vector<std::unique_ptr<RequestRecord>> records;  // in queue order
};

}  // namespace zentarc
