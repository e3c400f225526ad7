#include "Numbers.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "editor/document/EditorError.h"

namespace zentarc::editor {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the number starting at text[pos] (0 when none), following the reading rule.
std::size_t scanNumber(std::string_view text, std::size_t pos) {
  std::size_t i = pos;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && isDigit(text[j])) {
      while (j < text.size() && isDigit(text[j])) ++j;
      i = j;
    }
  }
  return i - pos;
}

double parse(std::string_view number) {
  const std::string s(number);
  return std::strtod(s.c_str(), nullptr);
}

double roundHalfEven(double v) {
  if (!std::isfinite(v))
    throw EditorError(ErrorNumber::Overflow, "The value is too large for the editor. Enter a plain, smaller number.");
  return std::nearbyint(v);  // default rounding mode is to nearest, ties to even
}

std::string wholeText(double r) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.0f", r);
  return buf;
}

}  // namespace

double leadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  const std::size_t len = scanNumber(text, i);
  return len == 0 ? 0.0 : parse(text.substr(i, len));
}

bool isNumeric(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && isBlank(text[b])) ++b;
  while (e > b && isBlank(text[e - 1])) --e;
  if (b == e) return false;
  std::string_view core = text.substr(b, e - b);
  std::string normalized(core);
  // The locale's decimal comma is accepted as well as the point.
  if (normalized.find('.') == std::string::npos) {
    const auto comma = normalized.find(',');
    if (comma != std::string::npos && normalized.find(',', comma + 1) == std::string::npos)
      normalized[comma] = '.';
  }
  return scanNumber(normalized, 0) == normalized.size();
}

std::int16_t toInt16(double v) {
  const double r = roundHalfEven(v);
  if (r < -32768.0 || r > 32767.0)
    throw EditorError(ErrorNumber::Overflow,
                      "The number " + wholeText(r) + " is out of range here (-32768 to 32767). Enter a smaller number.");
  return static_cast<std::int16_t>(r);
}

std::int32_t toInt32(double v) {
  const double r = roundHalfEven(v);
  if (r < -2147483648.0 || r > 2147483647.0)
    throw EditorError(ErrorNumber::Overflow, "The number " + wholeText(r) +
                                                  " is out of range here (-2147483648 to 2147483647). Enter a smaller number.");
  return static_cast<std::int32_t>(r);
}

}  // namespace zentarc::editor
