#pragma once
// Holds the live server objects, one per connected client session.
#include <cstddef>

#include "server/toolkit/SOCmnList.h"
#include "server/toolkit/SOCmnObject.h"
#include "server/toolkit/SODaSServer.h"

class SOSrvObjectRoot : public SOCmnObject {
 public:
  std::size_t getServerCount() const { return servers_.getCount(); }
  SOCmnListHeader<SODaSServer>& getServerList() { return servers_; }

 protected:
  ~SOSrvObjectRoot() override = default;

 private:
  SOCmnListHeader<SODaSServer> servers_;
};
