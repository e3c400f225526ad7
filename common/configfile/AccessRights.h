#pragma once
// Access names of the configuration file and the access-rights bits they stand for.
#include <array>
#include <cstdint>
#include <string_view>

namespace zentarc::configfile {

inline constexpr std::uint32_t kAccessRead = 1;
inline constexpr std::uint32_t kAccessWrite = 2;

struct AccessEntry {
  std::string_view name;
  std::uint32_t rights;
};

inline constexpr std::array<AccessEntry, 3> kAccessNames{{
    {"READ", kAccessRead},
    {"WRITE", kAccessWrite},
    {"READWRITE", kAccessRead | kAccessWrite},
}};

// Exact match; any other text (or none) gives 0, no access.
std::uint32_t accessRightsForName(std::string_view name);

}  // namespace zentarc::configfile
