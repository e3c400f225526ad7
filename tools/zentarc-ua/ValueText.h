#pragma once
// Node names and values as users type them.
#include <optional>
#include <string>

#include "server/toolkit/ua/Types.h"

namespace zentarc::uatool {

// "ns=1;s=Tag", "i=85", or a bare tag name (ns=1;s=NAME).
std::optional<ua::NodeId> parseNode(const std::string& text);

// Converts `text` to a value of the built-in data type `dataType` (a namespace-0 data type
// id such as 4 for Int16); an array when valueRank >= 1 (elements separated by commas).
// nullopt with `error` set when the text does not fit the type.
std::optional<ua::Variant> parseValue(const std::string& text, const ua::NodeId& dataType,
                                      int32_t valueRank, std::string& error);

// The name of a namespace-0 data type ("Int16"), else its node id.
std::string dataTypeName(const ua::NodeId& dataType);

}  // namespace zentarc::uatool
