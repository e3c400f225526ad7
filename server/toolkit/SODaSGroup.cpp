#include "server/toolkit/SODaSGroup.h"

#include <cstdint>
#include <unordered_set>

#include "server/toolkit/SOCmnException.h"
#include "server/toolkit/SODaSCreator.h"

SODaSGroup::SODaSGroup() = default;

SODaSGroup::~SODaSGroup() = default;

void SODaSGroup::setName(std::string_view name) {
  std::lock_guard g(mutex_);
  name_.assign(name);
}

std::string SODaSGroup::getName() const {
  std::lock_guard g(mutex_);
  return name_;
}

std::uint32_t SODaSGroup::getUpdateRate() const {
  std::lock_guard g(mutex_);
  return updateRate_;
}

void SODaSGroup::setUpdateRate(std::uint32_t newRate) {
  std::lock_guard g(mutex_);
  onSetUpdateRate(newRate);
  updateRate_ = newRate;
}

void SODaSGroup::setCreator(SOCmnPointer<SODaSCreator> creator) {
  std::lock_guard g(mutex_);
  creator_ = std::move(creator);
}

SOCmnPointer<SODaSItem> SODaSGroup::addItem(SOCmnPointer<SODaSTag> tag, bool active) {
  if (!tag) return {};
  std::lock_guard g(mutex_);
  SOCmnPointer<SODaSItem> item(creator_ ? creator_->createItem(this, tag.get())
                                        : SOCmnNew<SODaSItemDefault>());
  if (!item) return {};
  item->attach(this, std::move(tag));
  leafList_.add(item);
  if (active) item->setActive(true);
  return item;
}

void SODaSGroup::retire(SODaSItem* item) {
  item->setActive(false);
  item->removed_.store(true, std::memory_order_release);
}

bool SODaSGroup::removeItem(SODaSItem* item) {
  SOCmnPointer<SODaSGroup> self = SOCmnPointer<SODaSGroup>::share(this);
  std::lock_guard g(mutex_);
  if (!item || !leafList_.contains(item)) return false;
  SOCmnPointer<SODaSItem> keep = SOCmnPointer<SODaSItem>::share(item);
  retire(item);
  leafList_.removeObject(item);
  return true;
}

std::size_t SODaSGroup::removeItems(const std::vector<SODaSItem*>& items) {
  SOCmnPointer<SODaSGroup> self = SOCmnPointer<SODaSGroup>::share(this);
  std::lock_guard g(mutex_);
  std::unordered_set<const SODaSItem*> leaving;
  leaving.reserve(items.size());
  for (SODaSItem* item : items) {
    if (!item || item->group_.get() != this || item->isRemoved()) continue;
    retire(item);
    leaving.insert(item);
  }
  if (leaving.empty()) return 0;
  return leafList_.removeIf([&leaving](const SODaSItem* item) { return leaving.count(item) != 0; });
}

std::size_t SODaSGroup::removeSomeItems(std::size_t max) {
  SOCmnPointer<SODaSGroup> self = SOCmnPointer<SODaSGroup>::share(this);
  std::lock_guard g(mutex_);
  std::size_t n = 0;
  for (; n < max; ++n) {
    SOCmnPointer<SODaSItem> item = leafList_.removeHead();
    if (!item) break;
    retire(item.get());
  }
  return n;
}

void SODaSGroup::removeAllItems() {
  removeSomeItems(SIZE_MAX);
}
