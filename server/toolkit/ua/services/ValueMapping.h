#pragma once
// How tag values and qualities look to OPC UA clients: VT types to UA data types, cache
// values to Variants and back, OPC qualities to status codes.
#include <cstdint>

#include "server/toolkit/SODaSCache.h"
#include "server/toolkit/SOCmnVariant.h"
#include "server/toolkit/ua/Types.h"

namespace zentarc::ua {

// The UA data type (ns 0 numeric id) of a VT type or its array form; 0 for an unknown type.
uint32_t dataTypeForVartype(VARTYPE vt);

// The cache value as a Variant. Strings lose their trailing NUL padding (a PLC string of n
// characters is NUL-filled after its text).
Variant toVariant(const SOCmnVariant& value);

// The written Variant as a value of the tag's type: Good, BadTypeMismatch (another type,
// scalar for array or the reverse, an array of another length than `count`), or BadOutOfRange
// (a character the tag's 8-bit characters cannot hold).
StatusCode fromVariant(const Variant& value, VARTYPE vt, uint32_t count, SOCmnVariant& out);

// 0xC0 Good, 0x18 BadCommunicationError, 0x0C BadDeviceFailure, 0x1C BadOutOfService, other
// bad qualities Bad, uncertain ones Uncertain.
StatusCode statusForQuality(uint16_t quality);

// The status a client sees for a cache: the quality's, except that a good value that never
// came from the device is BadWaitingForInitialData.
StatusCode statusForCache(const SODaSCacheSnapshot& snapshot);

DateTime toDateTime(std::chrono::system_clock::time_point t);

}  // namespace zentarc::ua
