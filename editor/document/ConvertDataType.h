#pragma once
// Data type names: display name <-> file type name, and the type predicates the editor
// uses everywhere (boolean, array, types with an element count).
#include <string>
#include <string_view>

namespace zentarc::editor {

// The other name of a type: display name gives file name, file name gives display name.
// Exact comparison, letter case included; anything else gives an empty string.
std::string ConvertDataType(std::string_view tipo);

inline bool isBooleanType(std::string_view display) {
  return display.find("boolean") != std::string_view::npos;
}
inline bool isArrayType(std::string_view display) {
  return display.find("array") != std::string_view::npos;
}
// Array types and "string" carry an element count.
inline bool hasElements(std::string_view display) {
  return isArrayType(display) || display == "string";
}
// "unsigned 8 bit array" -> "unsigned 8 bit"; other names stay as they are.
std::string baseTypeName(std::string_view display);

}  // namespace zentarc::editor
