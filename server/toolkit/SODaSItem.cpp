#include "server/toolkit/SODaSItem.h"

#include <mutex>

#include "server/toolkit/SODaSGroup.h"

SODaSItem::SODaSItem() = default;

SODaSItem::~SODaSItem() = default;

void SODaSItem::attach(SODaSGroup* group, SOCmnPointer<SODaSTag> tag) {
  group_ = SOCmnPointer<SODaSGroup>::share(group);
  tag_ = std::move(tag);
}

SOCmnPointer<SODaSTag> SODaSItem::getItemTag() const { return tag_; }

SOCmnPointer<SODaSGroup> SODaSItem::getParentBranch() const { return group_; }

const std::string& SODaSItem::getName() const {
  static const std::string kNoName;
  return tag_ ? tag_->getName() : kNoName;
}

void SODaSItem::setActive(bool active) {
  // The group's lock orders this against the group's rate changes and other items.
  std::unique_lock<std::recursive_mutex> lock;
  if (group_) lock = std::unique_lock<std::recursive_mutex>(group_->mutex_);
  if (active_.load(std::memory_order_acquire) == active) return;
  // A client may still hold an item its group has dropped; it must not schedule polling
  // that nothing would ever stop.
  if (active && removed_.load(std::memory_order_acquire)) return;
  onSetActive(active);
  active_.store(active, std::memory_order_release);
}
