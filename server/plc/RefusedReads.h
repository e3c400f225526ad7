#pragma once
// A read the PLC refuses (a tag past the size an area has in that PLC, say) must not cost
// the tags beside it their values: the run is split, and split again, until the refused
// tags are found; every other tag is read with the parts that the PLC answers.
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "server/opc/PlcTag.h"
#include "server/plc/RegisterAccess.h"
#include "server/plc/CyclicBlock.h"
#include "server/plc/RegisterBlock.h"

namespace zentarc {

// The quality of a tag whose read the PLC refuses: a configuration that names memory the
// PLC does not have (clients see BadOutOfRange).
inline constexpr std::uint16_t kRefusedTagQuality = OPC_QUALITY_CONFIG_ERROR;

// Reads the units of `tags` (all in the block's area and unit, in ascending order) into the
// block's buffer. kOk when all were read; kRequestRefused when some were refused, then
// refused[i] is set for tag i and the others were read; any other code when a message failed
// otherwise (nothing can be said of the tags then). At most 2n - 1 messages for n tags
// (and the pieces of long runs). wholeBlockRefused: the block's range was refused just now,
// so a run of the same range is not asked again.
plc::ResultCode readFindingRefusals(RegisterBlock& block, std::span<PlcTag* const> tags, std::vector<char>& refused,
                                    RegisterAccess& io, bool wholeBlockRefused = false);

// The tags in the order of their first unit.
std::vector<PlcTag*> inUnitOrder(std::span<PlcTag* const> tags);

// A read of a cyclic block after the PLC refused it: the tags refused before and not due
// again yet are left out (they part the runs read), the others are read as above. Values
// go to the tags read, kRefusedTagQuality to the tags refused, which are tried again at the
// pace of a PLC that keeps failing (1 s doubling to 30 s). kOk when no tag is refused any
// more, kRequestRefused while one is, another code when a message failed (the tags then
// have its quality).
plc::ResultCode readAroundRefusals(CyclicBlock& block, std::uint32_t tick, RegisterAccess& io,
                                   std::chrono::system_clock::time_point readTime, bool wholeBlockRefused);
// The same for a tag refused now or read again.
void noteRefused(PlcTag& tag, std::uint32_t tick);
inline void noteAnswered(PlcTag& tag) { tag.refusedTries = 0; }

}  // namespace zentarc
