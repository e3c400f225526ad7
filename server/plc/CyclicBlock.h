#pragma once
// A run of registers read again and again at one update rate for the tags that share it.
#include <cstdint>
#include <vector>

#include "server/plc/RegisterBlock.h"
#include "server/plc/ResultCodes.h"
#include "server/toolkit/SOCmnObject.h"

namespace zentarc {

class PlcTag;

class CyclicBlock : public RegisterBlock {
 public:
  CyclicBlock(std::uint32_t first, std::uint32_t length, std::uint32_t rate, std::uint32_t now)
      : RegisterBlock(first, length), updateRate(rate), lastRead(now) {}
  ~CyclicBlock() override;

  bool hasTag(const PlcTag* tag) const;
  // Adds the tag once, holding one reference on it.
  void addTag(PlcTag* tag);
  // Takes the tag out and hands back the block's reference (so the caller decides when the
  // tag may go); empty when the tag was not in the block.
  SOCmnPointer<PlcTag> removeTag(const PlcTag* tag);
  // Makes the range run from the smallest first register of the tags to the largest last
  // one; with no tags, range 0/0.
  void fitToTags();

  // Due for a read at `now`: more milliseconds than the rate have passed since the last
  // read (unsigned tick difference). A rate of 0 is never due, nor is a block with no tags.
  bool isDue(std::uint32_t now) const;
  // Milliseconds until isDue turns true (0 when it is), or UINT32_MAX when it never will.
  std::uint32_t msUntilDue(std::uint32_t now) const;

  std::uint32_t serviced = 0;     // read or skipped in the current pass over the device
  std::uint32_t updateRate = 0;   // ms, shared by all its tags
  std::uint32_t lastRead = 0;     // tick the last read began (of creation, before the first)
  plc::ResultCode lastCode = plc::kOk;  // what its last read got
  std::vector<SOCmnPointer<PlcTag>> tags;  // in joining order
  void* statusTreeItem = nullptr;  // the status dialog's tree item for the block, if any
};

}  // namespace zentarc
