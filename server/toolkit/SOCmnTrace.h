#pragma once
// The toolkit trace: per-level masks say what is traced; a sink (installable, stderr by
// default) receives the lines.
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "server/toolkit/SOCmnString.h"

// Levels 1 (errors, on for every group by default) to 4 (debugging, off by default).
inline constexpr unsigned SOCMNTRACE_L_ERR = 1;
inline constexpr unsigned SOCMNTRACE_L_WRN = 2;
inline constexpr unsigned SOCMNTRACE_L_INF = 3;
inline constexpr unsigned SOCMNTRACE_L_DEB = 4;
inline constexpr std::uint32_t SOCMNTRACE_G_ALL = 0xFFFFFFFF;

class SOCmnTrace {
 public:
  using Sink = std::function<void(unsigned level, std::uint32_t mask, std::string_view id,
                                  std::string_view text)>;

  SOCmnTrace();
  std::uint32_t getLevelMask(unsigned level) const;
  void setLevelMask(unsigned level, std::uint32_t mask);
  bool isOn(unsigned level, std::uint32_t mask) const { return (getLevelMask(level) & mask) != 0; }

  // printf-style text for a trace line.
  SOCmnString expand(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  // Passes the line to the sink when the level's mask has any bit of `mask`.
  void trace(unsigned level, std::uint32_t mask, std::string_view id, std::string_view text);
  void setSink(Sink sink);

 private:
  mutable std::mutex mutex_;
  std::array<std::uint32_t, 5> levelMasks_{};
  Sink sink_;
};

SOCmnTrace* getSOCmnTrace();
