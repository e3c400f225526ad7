#pragma once
// OPCZentarc --check-config FILE: loads the file as the server would, with no server
// started, and prints every problem the loader reports, then what serving it would mean:
// the PLCs, their tags, the cyclic blocks and read messages one full scan needs when every
// readable tag is subscribed at one rate, and tags whose registers overlap another's.
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "common/configfile/MemoryArea.h"

namespace zentarc::config {

// Exit codes of the check.
inline constexpr int kCheckClean = 0;       // loads without a problem
inline constexpr int kCheckProblems = 1;    // loads, but some tags or PLCs are skipped or noted
inline constexpr int kCheckUnreadable = 2;  // cannot be read: nothing would load

inline constexpr const char* kNoPlcProblem =
    "The file configures no PLC (or none with a name and an IPaddress): the server would end at once.";

// One memory area of a PLC in one full scan.
struct AreaScan {
  configfile::MemoryArea area = configfile::MemoryArea::R;
  std::size_t polledTags = 0;
  std::size_t cyclicBlocks = 0;
  std::size_t readMessages = 0;
};

struct PlcSummary {
  std::string name;
  std::string address;
  std::size_t tags = 0;
  std::size_t polledTags = 0;  // readable tags of a known type
  std::size_t cyclicBlocks = 0;
  std::size_t readMessages = 0;  // read messages of one full scan
  std::vector<AreaScan> areas;   // the areas it polls, in the order of kMemoryAreas
};

// Two tags of one PLC that share at least one bit of one area.
struct TagOverlap {
  std::string plc;
  std::string tag, tagRegisters;      // "registers 40-41", "register 41, bit 3", "%I17-%I32"
  std::string other, otherRegisters;
};

struct ConfigCheckReport {
  int exitCode = kCheckClean;
  std::vector<std::string> problems;  // as the loader reported them, in order
  std::vector<PlcSummary> plcs;
  std::vector<TagOverlap> overlaps;   // each overlapping tag once, with one tag it overlaps
};

ConfigCheckReport CheckConfiguration(const std::string& path);
void PrintConfigCheck(const std::string& path, const ConfigCheckReport& report, std::ostream& out);

}  // namespace zentarc::config
