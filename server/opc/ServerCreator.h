#pragma once
// The server's creator, group and item: the group queues rate changes, the item queues its
// activation and deactivation, both onto the activation queue of the tag's PLC.
#include <memory>

#include "server/opc/ServerQueues.h"
#include "server/toolkit/SODaSCreator.h"

namespace zentarc {

class ServerCreator : public SODaSCreator {
 public:
  explicit ServerCreator(std::shared_ptr<ServerQueues> queues);
  // The program installs its creator before it knows whether it will serve, and makes the
  // queues only when it does; call before serving starts.
  void setQueues(std::shared_ptr<ServerQueues> queues) { queues_ = std::move(queues); }
  SODaSGroup* createGroup(SODaSServer* parent) override;
  SODaSItem* createItem(SODaSGroup* parent, SODaSTag* tag) override;

 protected:
  ~ServerCreator() override;

 private:
  std::weak_ptr<ServerQueues> queues_;  // see PlcTag
};

}  // namespace zentarc
