#include "server/plc/CyclicBlock.h"

#include <algorithm>
#include <limits>

#include "server/opc/PlcTag.h"
#include "server/opc/ValueConversion.h"
#include "server/plc/TagUnits.h"

namespace zentarc {

CyclicBlock::~CyclicBlock() = default;

bool CyclicBlock::hasTag(const PlcTag* tag) const {
  return std::any_of(tags.begin(), tags.end(), [tag](const auto& t) { return t.get() == tag; });
}

void CyclicBlock::addTag(PlcTag* tag) {
  if (!hasTag(tag)) tags.push_back(SOCmnPointer<PlcTag>::share(tag));
}

SOCmnPointer<PlcTag> CyclicBlock::removeTag(const PlcTag* tag) {
  for (auto it = tags.begin(); it != tags.end(); ++it) {
    if (it->get() != tag) continue;
    SOCmnPointer<PlcTag> held = std::move(*it);
    tags.erase(it);
    return held;
  }
  return {};
}

void CyclicBlock::fitToTags() {
  std::uint32_t first = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t end = 0;
  for (const auto& tag : tags) {
    const TagPlacement place = readPlacement(*tag);
    if (place.span == 0) continue;
    first = std::min<std::uint32_t>(first, place.first);
    end = std::max<std::uint32_t>(end, place.first + place.span);
  }
  if (end == 0) {
    setRange(0, 0);
    return;
  }
  setRange(first, end - first);
}

bool CyclicBlock::isDue(std::uint32_t now) const {
  return updateRate != 0 && !tags.empty() && now - lastRead > updateRate;
}

std::uint32_t CyclicBlock::msUntilDue(std::uint32_t now) const {
  if (updateRate == 0 || tags.empty()) return std::numeric_limits<std::uint32_t>::max();
  const std::uint32_t elapsed = now - lastRead;
  return elapsed > updateRate ? 0 : updateRate - elapsed + 1;
}

}  // namespace zentarc
