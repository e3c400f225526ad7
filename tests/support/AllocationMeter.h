#pragma once
// Counts the bytes a test program holds through operator new, so a test can show that an
// attack leaves memory bounded. Linked only into the test programs that ask for it: it
// replaces the global operator new and delete.
#include <cstddef>

namespace zentarc::testsupport {

class AllocationMeter {
 public:
  // Bytes held now, by every thread.
  static std::size_t current();
  // Forgets the peak: from now on peak() is measured from what is held now.
  static void resetPeak();
  // The most held at any moment since resetPeak(), above what was held at that call.
  static std::size_t peakAboveReset();
};

}  // namespace zentarc::testsupport
