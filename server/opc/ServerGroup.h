#pragma once
#include <memory>

#include "server/opc/ServerQueues.h"
#include "server/toolkit/SODaSGroup.h"

namespace zentarc {

class ServerGroup : public SODaSGroupDefault {
 public:
  explicit ServerGroup(std::shared_ptr<ServerQueues> queues);

 protected:
  ~ServerGroup() override;
  // For a real change, one {0, 1, newRate, tag} record per item of the group, active or not.
  void onSetUpdateRate(std::uint32_t newRate) override;

 private:
  std::weak_ptr<ServerQueues> queues_;  // see PlcTag
};

}  // namespace zentarc
