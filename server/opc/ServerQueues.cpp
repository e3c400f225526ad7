#include "server/opc/ServerQueues.h"

#include <algorithm>

namespace zentarc {

RequestRecord::~RequestRecord() {
  if (countedIn) --countedIn->queuedRequests;
}

void sortActivations(std::vector<std::unique_ptr<ActivationRecord>>& queue) {
  std::stable_sort(queue.begin(), queue.end(), [](const auto& a, const auto& b) {
    // By area, then by address in it: neighbours in one area are added one after another.
    const unsigned aa = a->tag ? static_cast<unsigned>(a->tag->area) << 16 | a->tag->address : 0;
    const unsigned ba = b->tag ? static_cast<unsigned>(b->tag->area) << 16 | b->tag->address : 0;
    return aa < ba;
  });
}

}  // namespace zentarc
