#pragma once
// Registers that change by themselves, so that a demo shows live values.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentarc::plcsim {

struct Animation {
  enum class Kind { Counter, Sine, Toggle };
  Kind kind = Kind::Counter;
  std::uint16_t first = 0;  // 0-based register indexes, inclusive
  std::uint16_t last = 0;
};

// The value of register `index` of an animation `elapsedMs` after the simulator started:
// counter  +1 every 100 ms, each register one step ahead of the one before;
// sine     0..2000 around 1000, a 10 s period, each register a little later in phase;
// toggle   0 and 1, changing every second, neighbours opposite.
std::uint16_t animatedValue(const Animation& animation, std::uint16_t index, std::uint64_t elapsedMs);

// "[counter:|sine:|toggle:]R<first>[-R<last>]" with 1-based register numbers, as in
// "sine:R5-R8". nullopt with a reason when the text is not of that form.
std::optional<Animation> parseAnimation(std::string_view text, std::string* error);

}  // namespace zentarc::plcsim
