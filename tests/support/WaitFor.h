#pragma once
// Waiting in a test for something another thread or process does: looks every 5 ms for at
// most `limit`, then once more, so every wait is bounded and ends by itself.
#include <chrono>
#include <thread>

namespace zentarc::testsupport {

template <class Done>
bool waitFor(Done done, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

}  // namespace zentarc::testsupport
