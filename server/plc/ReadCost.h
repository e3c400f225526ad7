#pragma once
// What reading registers from one PLC costs, learnt from the times of its answers: a round
// trip, and the time each register adds to it. From the two follows how many unused
// registers are worth reading along rather than sending one more message for the registers
// beyond them: over a slow link or to a busy CPU that is hundreds, on a fast one a few.
#include <chrono>
#include <cstdint>

namespace zentarc {

class ReadCost {
 public:
  // One read of `registers` registers that took `took`, from request to whole answer.
  void record(std::uint32_t registers, std::chrono::microseconds took);

  // The registers whose reading takes as long as one round trip: at least 10 (the gap the
  // blocks always bridge), and 10 until an answer has been timed.
  std::uint32_t registersPerRoundTrip() const;
  std::uint32_t samples() const { return small_.count + large_.count; }

 private:
  // A running mean that follows the PLC as it changes: the last 16 reads weigh most.
  struct Mean {
    double registers = 0;
    double micros = 0;
    std::uint32_t count = 0;
    void add(double r, double t);
  };
  Mean small_;  // reads of few registers: mostly the round trip
  Mean large_;  // reads of many: the round trip and the registers' time
};

}  // namespace zentarc
