// PlcDevice's cyclic blocks built afresh from the tags they poll: blocks that grew tag by tag
// as items came and went are merged again, at the rates the tags have now.
#include <algorithm>

#include "server/opc/PlcTag.h"
#include "server/opc/ValueConversion.h"
#include "server/plc/PlcDevice.h"

namespace zentarc {

namespace {

struct Polled {
  PlcTag* tag;
  std::uint32_t rate;
  std::uint32_t span;
  bool array;
  const CyclicBlock* from;
};

}  // namespace

void PlcDevice::RebuildCyclicBlocks() {
  std::vector<Polled> polled;
  for (const auto& block : cyclicBlocks)
    for (const auto& tag : block->tags) {
      const std::uint32_t span = registerSpan(*tag);
      if (span > 0)
        polled.push_back({tag.get(), block->updateRate, span, (tag->getNativeDatatype() & VT_ARRAY) != 0, block.get()});
    }
  std::stable_sort(polled.begin(), polled.end(), [](const Polled& a, const Polled& b) {
    if (a.rate != b.rate) return a.rate < b.rate;
    if (a.tag->address != b.tag->address) return a.tag->address < b.tag->address;
    return a.span > b.span;
  });

  const std::uint32_t tick = now();
  std::vector<std::unique_ptr<CyclicBlock>> rebuilt;
  CyclicBlock* open = nullptr;  // the block non-array tags of this rate join
  for (const Polled& p : polled) {
    if (open && open->updateRate != p.rate) open = nullptr;
    const bool joins = open && !p.array &&
                       worthBridging(open->firstRegister, open->lastRegister(), p.tag->address, p.span, bridgeRegisters);
    CyclicBlock* block = open;
    if (!joins) {
      rebuilt.push_back(std::make_unique<CyclicBlock>(p.tag->address, p.span, p.rate, p.from->lastRead));
      block = rebuilt.back().get();
      block->holdsArray = p.array;
      block->lastCode = p.from->lastCode;
      // An array lies in a block of its own, which the tags after it do not end.
      if (!p.array) open = block;
    } else {
      if (!isNearForRead(block->firstRegister, block->lastRegister(), p.tag->address, p.span)) block->bridgedWide = true;
      // The new block falls due when the first of the blocks its tags come from would have,
      // so that merging neither delays a tag nor reads one twice in its period.
      if (tick - p.from->lastRead > tick - block->lastRead) block->lastRead = p.from->lastRead;
      if (block->lastCode == plc::kOk) block->lastCode = p.from->lastCode;
    }
    block->cover(p.tag->address, p.span, false);
    block->addTag(p.tag);
    p.tag->pollBlock = block;
    p.tag->unscheduled = 0;
    p.tag->setDeviceRefreshRate(p.rate);
  }
  blocksToRecompute.clear();
  cyclicBlocks.swap(rebuilt);  // the old blocks go with `rebuilt`, and their references
  nextBlock = 0;
}

}  // namespace zentarc
