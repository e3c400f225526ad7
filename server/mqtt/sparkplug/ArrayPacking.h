#pragma once
// The packed array types: elements little endian, back to back, in a metric's bytes value.
// A BooleanArray starts with the element count (4 bytes, little endian) and packs eight
// elements a byte, the first in the most significant bit, as the reference implementation
// (Eclipse Tahu) does.
#include <string>
#include <string_view>

#include "server/mqtt/sparkplug/DataTypes.h"

namespace zentarc::mqtt::sparkplug {

// Appends the packed elements of a tag's array value; false (nothing appended) when the
// value is no array of the eight element types.
bool packArray(const SOCmnVariant& array, std::string& out);

// The elements of a packed array of one of the eight types a tag can have. False when the
// bytes cannot be such an array (a length that is no multiple of the element size, a
// BooleanArray whose count disagrees with its bytes) or when there are more than
// maxElements elements; `out` is then left as it was.
bool unpackArray(DataType type, std::string_view bytes, std::uint32_t maxElements, SOCmnVariant& out);

}  // namespace zentarc::mqtt::sparkplug
