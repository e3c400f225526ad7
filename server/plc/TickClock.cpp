#include "server/plc/TickClock.h"

#include <chrono>

namespace zentarc {

std::uint32_t steadyTickCount() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace zentarc
