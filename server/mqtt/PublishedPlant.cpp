#include "server/mqtt/PayloadFormat.h"

namespace zentarc::mqtt {

namespace {

// The types a tag's value can have on the wire (as over OPC UA).
bool publishable(VARTYPE vt) {
  switch (vt) {
    case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_R4: case VT_BOOL: case VT_BSTR:
    case VT_ARRAY | VT_I1: case VT_ARRAY | VT_UI1: case VT_ARRAY | VT_I2: case VT_ARRAY | VT_UI2:
    case VT_ARRAY | VT_I4: case VT_ARRAY | VT_UI4: case VT_ARRAY | VT_R4: case VT_ARRAY | VT_BOOL:
      return true;
    default:
      return false;
  }
}

}  // namespace

PublishedPlant collectPlant(const std::vector<SOCmnPointer<SODaSTag>>& tags, const PlantView* plant) {
  PublishedPlant p;
  const std::size_t plcs = plant ? plant->plcCount() : 0;
  for (std::size_t i = 0; i < plcs; ++i) p.plcs.push_back(plant->plcName(i));
  p.tags.reserve(tags.size());
  for (const auto& tag : tags) {
    const VARTYPE vt = tag->getNativeDatatype();
    const std::optional<std::size_t> plc = plant ? plant->plcOf(*tag) : std::nullopt;
    // A tag needs its PLC's level in the topic tree.
    if (!publishable(vt) || !plc || *plc >= plcs) continue;
    PublishedTag t;
    t.tag = tag;
    t.plc = *plc;
    t.type = vt;
    // The cache holds an array of the configured length from the start.
    if (vt & VT_ARRAY) t.count = tag->cache().getValue().arrayCount();
    t.readable = (tag->getAccessRights() & OPC_READABLE) != 0;
    t.writable = (tag->getAccessRights() & OPC_WRITEABLE) != 0;
    p.tags.push_back(std::move(t));
  }
  return p;
}

}  // namespace zentarc::mqtt
