#include "ItemStepping.h"

#include <algorithm>
#include <cmath>

#include "common/configfile/DataTypes.h"
#include "common/configfile/TagRules.h"
#include "editor/document/Numbers.h"

namespace zentarc::editor {

NextPosition nextItemPosition(std::string_view type, double A, double E, int B, configfile::MemoryArea area) {
  if (configfile::isBitArea(area)) {
    const configfile::DataTypeEntry* entry = configfile::findByDisplayName(type);
    const double count = std::max(0.0, std::nearbyint(E));
    if (!entry) return {A, std::nullopt};
    return {A + configfile::areaSpan(area, entry->code, 0, static_cast<std::uint32_t>(std::min(count, 65535.0))),
            std::nullopt};
  }
  if (type == "boolean") {
    if (B < 15) return {A, B + 1};
    return {A + 1, 0};
  }
  if (type == "unsigned 16 bit" || type == "signed 16 bit") return {A + 1, std::nullopt};
  if (type == "unsigned 32 bit" || type == "signed 32 bit" || type == "32 bit float")
    return {A + 2, std::nullopt};
  if (type == "boolean array") {
    const int T = toInt16(B + E);
    const int words = static_cast<int>(std::floor(T / 16.0));
    return {A + words, T - 16 * words};
  }
  if (type == "unsigned 8 bit array" || type == "signed 8 bit array")
    // Half the count rounded to even, plus one: 1, 2, 3, 3, 3, 4, 5, 5 for E = 1 to 8.
    return {A + std::nearbyint(E / 2) + 1, std::nullopt};
  if (type == "unsigned 16 bit array" || type == "signed 16 bit array" || type == "string")
    return {A + E, std::nullopt};
  if (type == "unsigned 32 bit array" || type == "signed 32 bit array" || type == "32 bit float array")
    return {A + 2 * E, std::nullopt};
  return {A, std::nullopt};
}

}  // namespace zentarc::editor
