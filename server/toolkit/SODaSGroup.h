#pragma once
// A client's group: an update rate and the leaf list of its items. One recursive lock per
// group guards the list, the rate and the items' activation; the hooks run under it.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "server/toolkit/SOCmnList.h"
#include "server/toolkit/SOCmnObject.h"
#include "server/toolkit/SODaSItem.h"
#include "server/toolkit/SODaSTag.h"

class SODaSCreator;

class SODaSGroup : public SOCmnObject {
 public:
  SODaSGroup();

  void setName(std::string_view name);
  std::string getName() const;

  std::uint32_t getUpdateRate() const;
  // Calls onSetUpdateRate(newRate) before the new rate is stored.
  void setUpdateRate(std::uint32_t newRate);

  // Creates an item for the tag with the creator's createItem, adds it to the leaf list and,
  // when `active`, activates it. Returns the item (counted).
  SOCmnPointer<SODaSItem> addItem(SOCmnPointer<SODaSTag> tag, bool active = false);
  // Deactivates the item (so its hook runs) and takes it out of the leaf list.
  bool removeItem(SODaSItem* item);
  // The same for many items of this group at once, in one pass over the list.
  std::size_t removeItems(const std::vector<SODaSItem*>& items);
  // The same for the first `max` items; returns how many went. Lets a caller take a large
  // group apart in steps.
  std::size_t removeSomeItems(std::size_t max);
  void removeAllItems();

  // The items; lock the group (or the list) while walking it.
  SOCmnListHeader<SODaSItem>& getLeafList() { return leafList_; }
  const SOCmnListHeader<SODaSItem>& getLeafList() const { return leafList_; }
  void lock() const { mutex_.lock(); }
  void unlock() const { mutex_.unlock(); }

 protected:
  ~SODaSGroup() override;
  virtual void onSetUpdateRate(std::uint32_t /*newRate*/) {}

 private:
  friend class SODaSServer;
  friend class SODaSItem;
  void setCreator(SOCmnPointer<SODaSCreator> creator);
  // Deactivates and marks an item that is about to leave the list (group lock held).
  void retire(SODaSItem* item);

  mutable std::recursive_mutex mutex_;
  std::string name_;
  std::uint32_t updateRate_ = 0;
  SOCmnPointer<SODaSCreator> creator_;
  SOCmnListHeader<SODaSItem> leafList_;
};

class SODaSGroupDefault : public SODaSGroup {};
