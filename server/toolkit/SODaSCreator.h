#pragma once
// Makes the group and item objects of client sessions; the server installs its own.
#include "server/toolkit/SOCmnObject.h"

class SODaSGroup;
class SODaSItem;
class SODaSServer;
class SODaSTag;

class SODaSCreator : public SOCmnObject {
 public:
  // Each returns a new object holding one reference, which the caller takes over.
  virtual SODaSGroup* createGroup(SODaSServer* parent);
  virtual SODaSItem* createItem(SODaSGroup* parent, SODaSTag* tag);

 protected:
  ~SODaSCreator() override = default;
};
