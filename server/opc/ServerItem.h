#pragma once
#include <cstddef>
#include <memory>

#include "server/opc/ServerQueues.h"
#include "server/toolkit/SODaSItem.h"

namespace zentarc {

class ServerItem : public SODaSItemDefault {
 public:
  explicit ServerItem(std::shared_ptr<ServerQueues> queues);

 protected:
  ~ServerItem() override;
  // Updates the tag's activeItems and queues {active, 0, rate or 0, tag}, together under
  // queueLock.
  void onSetActive(bool active) override;

 private:
  std::weak_ptr<ServerQueues> queues_;  // see PlcTag
  std::size_t activeIndex_ = 0;         // where it sits in its tag's activeItems while active
};

}  // namespace zentarc
