#include "server/toolkit/SODaSCreator.h"

#include "server/toolkit/SOCmnException.h"
#include "server/toolkit/SODaSGroup.h"
#include "server/toolkit/SODaSItem.h"

SODaSGroup* SODaSCreator::createGroup(SODaSServer* /*parent*/) { return SOCmnNew<SODaSGroupDefault>(); }

SODaSItem* SODaSCreator::createItem(SODaSGroup* /*parent*/, SODaSTag* /*tag*/) {
  return SOCmnNew<SODaSItemDefault>();
}
