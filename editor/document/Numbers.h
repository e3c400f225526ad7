#pragma once
// Reading numbers from user and file texts the way the editor always has: the leading
// number of a text, a whole-text numeric test, and rounding to an integer (nearest, ties
// to even) with overflow reported as an error.
#include <cstdint>
#include <string_view>

namespace zentarc::editor {

// Value of the leading number: blanks skipped, sign, digits, one '.', exponent; reading
// stops at the first other character; no number gives 0. "12ab" -> 12, "7x" -> 7.
double leadingNumber(std::string_view text);

// The whole text (blanks allowed around it) is a decimal number with optional sign,
// fraction and exponent. An empty text is not numeric.
bool isNumeric(std::string_view text);

// Nearest integer, ties to even; throws EditorError Overflow outside the type's range.
std::int16_t toInt16(double v);
std::int32_t toInt32(double v);

}  // namespace zentarc::editor
