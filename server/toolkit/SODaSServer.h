#pragma once
// One server object per connected client (an OPC UA session): it owns the client's groups.
#include <cstdint>
#include <string>
#include <string_view>

#include "server/toolkit/SOCmnList.h"
#include "server/toolkit/SOCmnObject.h"
#include "server/toolkit/SODaSCreator.h"
#include "server/toolkit/SODaSGroup.h"

class SODaSServer : public SOCmnObject {
 public:
  explicit SODaSServer(SOCmnPointer<SODaSCreator> creator);

  void setClientName(std::string_view name);
  std::string getClientName() const;

  // A new group (the creator's createGroup) with the name and rate; counted.
  SOCmnPointer<SODaSGroup> addGroup(std::string_view name, std::uint32_t updateRate);
  // Removes all the group's items (deactivating them) and the group.
  bool removeGroup(SODaSGroup* group);
  // Takes the group out of this server's list and leaves its items alone: the caller, who
  // holds a reference, takes it apart later (a large one in steps).
  bool detachGroup(SODaSGroup* group);
  void removeAllGroups();
  SOCmnListHeader<SODaSGroup>& getGroupList() { return groups_; }

 protected:
  ~SODaSServer() override;

 private:
  SOCmnPointer<SODaSCreator> creator_;
  mutable std::mutex mutex_;
  std::string clientName_;
  SOCmnListHeader<SODaSGroup> groups_;
};
