#pragma once
// Reading one attribute of one node, shared by Read and by monitored items.
#include "server/toolkit/SODaSCache.h"
#include "server/toolkit/ua/ServicesCommon.h"
#include "server/toolkit/ua/services/AddressSpace.h"

namespace zentarc::ua {

// A value that is only a status.
DataValue statusOnly(StatusCode status);

// True when the attribute exists on nodes of this class.
bool hasAttribute(const Node& node, uint32_t attributeId);

// The attribute's value. For a tag's Value this is the cache (never a device read). Checks
// the attribute, the access rights and the index range; timestamps only for Value.
DataValue readAttribute(const Node& node, uint32_t attributeId, const String& indexRange,
                        TimestampsToReturn timestamps);

// A tag's cached value with its status and timestamps.
DataValue readTagValue(const Node& node, TimestampsToReturn timestamps);
DataValue tagValueFrom(const SODaSCacheSnapshot& snapshot, TimestampsToReturn timestamps,
                       DateTime serverTime);

// Parses a one-dimensional NumericRange ("3" or "2:5"); false when malformed.
bool parseIndexRange(const String& text, uint32_t& first, uint32_t& last);
// Applies a parsed range to a value: Good, or BadIndexRangeNoData when nothing is left.
StatusCode applyIndexRange(Variant& value, uint32_t first, uint32_t last);

}  // namespace zentarc::ua
