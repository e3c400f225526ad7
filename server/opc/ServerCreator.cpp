#include "server/opc/ServerCreator.h"

#include "server/opc/ServerGroup.h"
#include "server/opc/ServerItem.h"
#include "server/toolkit/SOCmnException.h"

namespace zentarc {

ServerCreator::ServerCreator(std::shared_ptr<ServerQueues> queues) : queues_(std::move(queues)) {}

ServerCreator::~ServerCreator() = default;

SODaSGroup* ServerCreator::createGroup(SODaSServer* /*parent*/) { return SOCmnNew<ServerGroup>(queues_.lock()); }

SODaSItem* ServerCreator::createItem(SODaSGroup* /*parent*/, SODaSTag* /*tag*/) {
  return SOCmnNew<ServerItem>(queues_.lock());
}

}  // namespace zentarc
