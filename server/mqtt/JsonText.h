#pragma once
// Just enough JSON for MQTT payloads: appending values to a text, and reading a payload a
// client sent into a small tree. The reader is strict (RFC 8259), bounded in depth and
// size, and never throws: outside input gets a reason, not a crash.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zentarc::mqtt::json {

// Writing. Strings are UTF-8; control characters and the two that must be are escaped.
void appendString(std::string& out, std::string_view utf8);
void appendInteger(std::string& out, std::int64_t value);
// The shortest text that reads back as the same float; NaN and the infinities as the
// strings "NaN", "Infinity" and "-Infinity", which JSON has no numbers for.
void appendFloat(std::string& out, float value);
// "2026-12-07T10:15:30.123Z", as a JSON string.
void appendTimestamp(std::string& out, std::chrono::system_clock::time_point t);

// Reading.
struct Value {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  // A number written without fraction or exponent that fits 64 bits: its exact value.
  bool isInteger = false;
  std::int64_t integer = 0;
  bool integerTooLarge = false;  // written as an integer, beyond 64 bits
  std::string text;              // String: UTF-8
  std::vector<Value> items;      // Array: the elements; Object: the members' values
  std::vector<std::string> names;  // Object: the members' names, beside their values

  const Value* member(std::string_view name) const;  // the first of that name
};

inline constexpr std::size_t kMaxDepth = 16;
inline constexpr std::size_t kMaxPayloadBytes = 1024 * 1024;

// False with a reason for anything that is not one JSON value (surrounding blanks allowed),
// nests deeper than kMaxDepth or is longer than kMaxPayloadBytes.
bool parse(std::string_view text, Value& value, std::string& error);

// A read value written again (compact), e.g. to echo a request's id.
std::string serialize(const Value& value);

}  // namespace zentarc::mqtt::json
