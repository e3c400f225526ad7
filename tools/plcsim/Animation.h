#pragma once
// Memory that changes by itself, so that a demo shows live values.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/configfile/MemoryArea.h"

namespace zentarc::plcsim {

struct Animation {
  enum class Kind { Counter, Sine, Toggle };
  Kind kind = Kind::Counter;
  std::uint16_t first = 0;  // 0-based word or bit indexes, inclusive
  std::uint16_t last = 0;
  configfile::MemoryArea area = configfile::MemoryArea::R;
};

// The value of word `index` of an animation `elapsedMs` after the simulator started:
// counter  +1 every 100 ms, each word one step ahead of the one before;
// sine     0..2000 around 1000, a 10 s period, each word a little later in phase;
// toggle   0 and 1, changing every second, neighbours opposite.
std::uint16_t animatedValue(const Animation& animation, std::uint16_t index, std::uint64_t elapsedMs);
// The same for bit `index` of an animation in a bit area: a counter's bits count in binary
// (the first bit lowest), a sine bit is on in the upper half of its wave, toggles as above.
bool animatedBit(const Animation& animation, std::uint16_t index, std::uint64_t elapsedMs);

// "[counter:|sine:|toggle:]<area><first>[-<area><last>]" with 1-based numbers, as in
// "sine:R5-R8" or "toggle:Q1-Q8". nullopt with a reason when the text is not of that form.
std::optional<Animation> parseAnimation(std::string_view text, std::string* error);

}  // namespace zentarc::plcsim
