#pragma once
// Faults the simulated PLC can show, shared by the simulator, its command and the tests.
// Each has a name for the command line (plcsim --fault NAME[=N]).
#include <string>
#include <string_view>

namespace zentarc::plcsim {

inline constexpr int kDefaultSplitGapMs = 20;

struct Faults {
  bool refuseHandshake = false;  // "refuse-handshake": status 0xD1 to the second handshake message
  bool refuseReads = false;      // "refuse-reads": status 0xD1 to every read
  bool refuseWrites = false;     // "refuse-writes": status 0xD1 to every write
  int delayMs = 0;               // "delay=MS": every answer leaves MS ms late
  int splitGapMs = -1;           // "split[=MS]": an answer in two TCP segments MS ms apart (header
                                 // and data; a 56-byte answer is cut after byte 28)
  bool silent = false;           // "silent": requests are read and never answered
  bool silentConnect = false;    // "silent-connect": connections are never accepted, so a connect
                                 // gets no answer at all
  int closeAfter = -1;           // "close-after=N": after N answers on a connection, the next
                                 // request closes it instead of being answered
  int resetAfter = -1;           // "reset-after=N": the same, but the connection is reset
  bool wrongSequence = false;    // "wrong-sequence": answers carry the next sequence number
  bool truncate = false;         // "truncate": every answer lacks its last 8 bytes
};

// One line per fault name, for --help.
std::string faultHelp();

// Applies "name" or "name=N" to faults. False, with a reason, for an unknown name or a bad N.
bool applyFault(Faults& faults, std::string_view text, std::string* error);

}  // namespace zentarc::plcsim
