#include "server/opc/ServerQueues.h"

#include <algorithm>

namespace zentarc {

void sortActivations(std::vector<std::unique_ptr<ActivationRecord>>& queue) {
  std::stable_sort(queue.begin(), queue.end(), [](const auto& a, const auto& b) {
    const unsigned aa = a->tag ? a->tag->address : 0;
    const unsigned ba = b->tag ? b->tag->address : 0;
    return aa < ba;
  });
}

}  // namespace zentarc
