#pragma once
// The millisecond tick count of the PLC side: a steady clock cut to 32 bits, so that only
// unsigned differences of two ticks mean anything (they stay right across the wrap).
#include <cstdint>
#include <functional>

namespace zentarc {

using TickClock = std::function<std::uint32_t()>;

std::uint32_t steadyTickCount();

}  // namespace zentarc
