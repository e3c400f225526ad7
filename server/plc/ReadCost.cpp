#include "server/plc/ReadCost.h"

#include <algorithm>

#include "server/plc/RegisterBlock.h"

namespace zentarc {

namespace {

constexpr std::uint32_t kSmallRead = 64;   // registers at most
constexpr std::uint32_t kLargeRead = 256;  // registers at least
constexpr std::uint32_t kEnoughSamples = 4;
// Until large and small reads have both been timed, a register is taken to cost what it
// takes on a 10 Mbit/s link (its 16 bits and the PLC's copying): slow, so that a fast PLC
// is never asked for registers it does not need on a guess.
constexpr double kAssumedMicrosPerRegister = 2.0;
// Below this the time of a register is lost in the noise of the round trips.
constexpr double kLeastMicrosPerRegister = 0.01;
constexpr double kMostRegistersPerRoundTrip = 65536;

}  // namespace

void ReadCost::Mean::add(double r, double t) {
  ++count;
  const double weight = std::max(1.0 / count, 1.0 / 16);
  registers += (r - registers) * weight;
  micros += (t - micros) * weight;
}

void ReadCost::record(std::uint32_t registers, std::chrono::microseconds took) {
  const double t = static_cast<double>(std::max<std::int64_t>(took.count(), 0));
  if (registers <= kSmallRead) small_.add(registers, t);
  else if (registers >= kLargeRead) large_.add(registers, t);
}

std::uint32_t ReadCost::registersPerRoundTrip() const {
  if (small_.count == 0 && large_.count == 0) return kMaxReadGap;
  double perRegister = kAssumedMicrosPerRegister;
  if (small_.count >= kEnoughSamples && large_.count >= kEnoughSamples)
    perRegister = std::max((large_.micros - small_.micros) / (large_.registers - small_.registers),
                           kLeastMicrosPerRegister);
  const Mean& base = small_.count > 0 ? small_ : large_;
  const double roundTrip = base.micros - perRegister * base.registers;
  const double registers = std::clamp(roundTrip / perRegister, double(kMaxReadGap), kMostRegistersPerRoundTrip);
  return static_cast<std::uint32_t>(registers);
}

}  // namespace zentarc
