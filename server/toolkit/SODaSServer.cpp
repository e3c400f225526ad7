#include "server/toolkit/SODaSServer.h"

#include "server/toolkit/SOCmnException.h"

SODaSServer::SODaSServer(SOCmnPointer<SODaSCreator> creator) : creator_(std::move(creator)) {}

SODaSServer::~SODaSServer() { removeAllGroups(); }

void SODaSServer::setClientName(std::string_view name) {
  std::lock_guard g(mutex_);
  clientName_.assign(name);
}

std::string SODaSServer::getClientName() const {
  std::lock_guard g(mutex_);
  return clientName_;
}

SOCmnPointer<SODaSGroup> SODaSServer::addGroup(std::string_view name, std::uint32_t updateRate) {
  SOCmnPointer<SODaSGroup> group(creator_ ? creator_->createGroup(this) : SOCmnNew<SODaSGroupDefault>());
  if (!group) return {};
  group->setCreator(creator_);
  group->setName(name);
  {
    // The first rate is no change: no items can have seen another one.
    std::lock_guard g(group->mutex_);
    group->updateRate_ = updateRate;
  }
  groups_.add(group);
  return group;
}

bool SODaSServer::removeGroup(SODaSGroup* group) {
  if (!group || !groups_.contains(group)) return false;
  SOCmnPointer<SODaSGroup> keep = SOCmnPointer<SODaSGroup>::share(group);
  group->removeAllItems();
  return groups_.removeObject(group);
}

bool SODaSServer::detachGroup(SODaSGroup* group) {
  return group && groups_.removeObject(group);
}

void SODaSServer::removeAllGroups() {
  while (SODaSGroup* group = groups_.getIndex(0)) removeGroup(group);
}
