#include "server/toolkit/SOCmnException.h"

void SOCmnThrowOutOfMemory() {
  throw SOCmnException(SOCMN_EXCEPTION_OUT_OF_MEMORY, "Out of memory");
}
