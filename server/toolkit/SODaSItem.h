#pragma once
// A client's item in a group, connected to one tag. Activation runs under the group's lock,
// so onSetActive of all items of a group and the group's onSetUpdateRate never overlap.
#include <atomic>
#include <string>

#include "server/toolkit/SOCmnObject.h"
#include "server/toolkit/SODaSTag.h"

class SODaSGroup;

class SODaSItem : public SOCmnObject {
 public:
  SODaSItem();

  SOCmnPointer<SODaSTag> getItemTag() const;       // adds a reference
  SOCmnPointer<SODaSGroup> getParentBranch() const;  // adds a reference; null before adding
  const std::string& getName() const;

  bool isActive() const { return active_.load(std::memory_order_acquire); }
  // Calls onSetActive(active) only on a real change, then stores the state. An item that
  // has been removed from its group stays inactive.
  void setActive(bool active);
  bool isRemoved() const { return removed_.load(std::memory_order_acquire); }

 protected:
  ~SODaSItem() override;
  virtual void onSetActive(bool /*active*/) {}

 private:
  friend class SODaSGroup;
  // Set once by the group that adds the item; neither changes afterwards.
  void attach(SODaSGroup* group, SOCmnPointer<SODaSTag> tag);

  SOCmnPointer<SODaSGroup> group_;
  SOCmnPointer<SODaSTag> tag_;
  std::atomic<bool> active_{false};
  std::atomic<bool> removed_{false};
};

// The item class the server derives its own from (name, list and cyclic data are all in
// SODaSItem here).
class SODaSItemDefault : public SODaSItem {};
