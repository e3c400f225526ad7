#include "tools/plcsim/Animation.h"

#include <cmath>
#include <numbers>

#include "tools/plcsim/MemoryNames.h"

namespace zentarc::plcsim {

std::uint16_t animatedValue(const Animation& animation, std::uint16_t index, std::uint64_t elapsedMs) {
  const std::uint64_t offset = static_cast<std::uint64_t>(index - animation.first);
  switch (animation.kind) {
    case Animation::Kind::Counter:
      return static_cast<std::uint16_t>(elapsedMs / 100 + offset);
    case Animation::Kind::Sine: {
      const double phase = 2.0 * std::numbers::pi * (static_cast<double>(elapsedMs % 10000) / 10000.0) -
                           0.5 * static_cast<double>(offset);
      return static_cast<std::uint16_t>(std::lround(1000.0 + 1000.0 * std::sin(phase)));
    }
    case Animation::Kind::Toggle:
      return static_cast<std::uint16_t>((elapsedMs / 1000 + offset) % 2);
  }
  return 0;
}

bool animatedBit(const Animation& animation, std::uint16_t index, std::uint64_t elapsedMs) {
  const std::uint64_t offset = static_cast<std::uint64_t>(index - animation.first);
  switch (animation.kind) {
    case Animation::Kind::Counter: return offset < 64 && ((elapsedMs / 100 >> offset) & 1) != 0;
    case Animation::Kind::Sine: return animatedValue(animation, index, elapsedMs) > 1000;
    case Animation::Kind::Toggle: return animatedValue(animation, index, elapsedMs) != 0;
  }
  return false;
}

std::optional<Animation> parseAnimation(std::string_view text, std::string* error) {
  Animation a;
  const auto colon = text.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view kind = text.substr(0, colon);
    if (kind == "counter") a.kind = Animation::Kind::Counter;
    else if (kind == "sine") a.kind = Animation::Kind::Sine;
    else if (kind == "toggle") a.kind = Animation::Kind::Toggle;
    else {
      if (error) *error = "unknown animation '" + std::string(kind) + "' (counter, sine or toggle)";
      return std::nullopt;
    }
    text = text.substr(colon + 1);
  }
  const auto range = parseMemoryRange(text, error);
  if (!range) return std::nullopt;
  a.first = range->first;
  a.last = range->last;
  a.area = range->area;
  return a;
}

}  // namespace zentarc::plcsim
