#include "server/toolkit/SOCmnObject.h"

long SOCmnObject::release() {
  const long left = refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}
