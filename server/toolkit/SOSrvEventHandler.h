#pragma once
// Server events the application may override.
#include "server/toolkit/SOCmnObject.h"

class SOSrvEventHandler : public SOCmnObject {
 public:
  // Each time a server object (client session) is released.
  virtual void onReleasedOPCObject() {}
  // When the last server object has been released.
  virtual void onLastOPCObjectReleased() {}

 protected:
  ~SOSrvEventHandler() override = default;
};
