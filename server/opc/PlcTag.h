#pragma once
// One configured PLC variable as a namespace tag. It never talks to a PLC: reads from the
// device and writes go to its PLC's read and write queues, for that PLC's worker.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "server/toolkit/SODaSTag.h"

namespace zentarc {

class CyclicBlock;
class ServerItem;
class TagDevice;
struct ServerQueues;

// An item active on a tag, with the update rate of its group (kept current by the group).
struct ActiveItem {
  ServerItem* item = nullptr;
  std::uint32_t updateRate = 0;
  bool operator==(const ActiveItem&) const = default;
};

class PlcTag : public SODaSTag {
 public:
  // Takes a reference on plc. The cache holds the type's zero (arrays of `count` elements,
  // strings of `count` NUL characters) with quality GOOD; property 101 is the description.
  PlcTag(std::string_view name, std::uint32_t accessRights, VARTYPE nativeDatatype,
         std::string_view description, std::uint16_t address, std::uint16_t bit,
         std::uint16_t count, TagDevice* plc, std::shared_ptr<ServerQueues> queues);

  // Device reads (kinds 21, 22) go to the PLC's readQueue and writes to its writeQueue, both
  // marked pending; other reads complete at once; other operations are ignored. Once the
  // queues are gone (shut-down), or when kMaxQueuedRequests wait already, device reads and
  // writes fail at once. A string longer than the tag's characters fails at once with
  // OPC_E_RANGE.
  void handleRequest(SODaSRequest* request) override;

  TagDevice* device() const { return plc.get(); }
  // The smallest update rate over the active items; 0 when none is active.
  std::uint32_t smallestActiveRate() const;

  // Fields the polling side works with (under queueLock unless noted).
  std::uint32_t unscheduled = 1;        // 1 while in no CyclicBlock
  const SOCmnPointer<TagDevice> plc;    // owning device (counted)
  CyclicBlock* pollBlock = nullptr;     // block that holds or last held the tag
  const std::uint16_t address;          // 0-based index of the first register
  const std::uint16_t bit;              // bit number, or bit offset of a boolean array
  const std::uint16_t count;            // elements or characters
  std::vector<ActiveItem> activeItems;  // items active on the tag now, with their rates
  std::int32_t listRow = -1;            // row in the status dialog's list (window thread)

 protected:
  ~PlcTag() override;

 private:
  // Not owned: queued records refer back to their tags, and the queues go at shut-down
  // while tags live on until the toolkit ends.
  std::weak_ptr<ServerQueues> queues_;
};

}  // namespace zentarc
