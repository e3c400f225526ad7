#include "server/mqtt/JsonText.h"

#include <charconv>
#include <cmath>
#include <algorithm>

namespace zentarc::mqtt::json {

void appendString(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0x0F];
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

void appendInteger(std::string& out, std::int64_t value) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

void appendFloat(std::string& out, float value) {
  if (std::isnan(value)) {
    out += "\"NaN\"";
  } else if (std::isinf(value)) {
    out += value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
  } else {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
  }
}

namespace {

// Year, month and day of a count of days since 1970-01-01 (proleptic Gregorian; H. Hinnant's
// civil_from_days): no library call per message.
void civilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
}

void digits(char* at, unsigned value, int count) {
  for (int i = count - 1; i >= 0; --i, value /= 10) at[i] = static_cast<char>('0' + value % 10);
}

}  // namespace

void appendTimestamp(std::string& out, std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  const std::int64_t ms = floor<milliseconds>(t).time_since_epoch().count();
  const std::int64_t days = ms >= 0 ? ms / 86'400'000 : (ms - 86'399'999) / 86'400'000;
  const auto inDay = static_cast<unsigned>(ms - days * 86'400'000);
  int year = 0;
  unsigned month = 0, day = 0;
  civilFromDays(days, year, month, day);
  char buf[27] = "\"0000-00-00T00:00:00.000Z\"";
  digits(buf + 1, static_cast<unsigned>(std::clamp(year, 0, 9999)), 4);
  digits(buf + 6, month, 2);
  digits(buf + 9, day, 2);
  digits(buf + 12, inDay / 3'600'000, 2);
  digits(buf + 15, inDay / 60'000 % 60, 2);
  digits(buf + 18, inDay / 1000 % 60, 2);
  digits(buf + 21, inDay % 1000, 3);
  out.append(buf, 26);
}

const Value* Value::member(std::string_view name) const {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return &items[i];
  return nullptr;
}

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  bool document(Value& v) {
    blanks();
    if (!value(v, 0)) return false;
    blanks();
    if (p_ != s_.size()) return fail("text after the value");
    return true;
  }
  const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& why) {
    if (error_.empty()) error_ = why + " at byte " + std::to_string(p_ + 1);
    return false;
  }
  void blanks() {
    while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\t' || s_[p_] == '\n' || s_[p_] == '\r')) ++p_;
  }
  bool literal(std::string_view word) {
    if (s_.substr(p_, word.size()) != word) return fail("unknown word");
    p_ += word.size();
    return true;
  }

  bool value(Value& v, std::size_t depth) {
    if (depth >= kMaxDepth) return fail("nested too deeply");
    if (p_ >= s_.size()) return fail("a value is missing");
    switch (s_[p_]) {
      case '{': return object(v, depth);
      case '[': return array(v, depth);
      case '"': v.kind = Value::Kind::String; return string(v.text);
      case 't': v.kind = Value::Kind::Bool; v.boolean = true; return literal("true");
      case 'f': v.kind = Value::Kind::Bool; v.boolean = false; return literal("false");
      case 'n': v.kind = Value::Kind::Null; return literal("null");
      default: return number(v);
    }
  }

  bool object(Value& v, std::size_t depth) {
    v.kind = Value::Kind::Object;
    ++p_;
    blanks();
    if (p_ < s_.size() && s_[p_] == '}') {
      ++p_;
      return true;
    }
    for (;;) {
      blanks();
      if (p_ >= s_.size() || s_[p_] != '"') return fail("a member name is missing");
      std::string name;
      if (!string(name)) return false;
      blanks();
      if (p_ >= s_.size() || s_[p_] != ':') return fail("':' is missing");
      ++p_;
      blanks();
      Value member;
      if (!value(member, depth + 1)) return false;
      v.names.push_back(std::move(name));
      v.items.push_back(std::move(member));
      blanks();
      if (p_ < s_.size() && s_[p_] == ',') {
        ++p_;
        continue;
      }
      if (p_ < s_.size() && s_[p_] == '}') {
        ++p_;
        return true;
      }
      return fail("',' or '}' is missing");
    }
  }

  bool array(Value& v, std::size_t depth) {
    v.kind = Value::Kind::Array;
    ++p_;
    blanks();
    if (p_ < s_.size() && s_[p_] == ']') {
      ++p_;
      return true;
    }
    for (;;) {
      blanks();
      Value item;
      if (!value(item, depth + 1)) return false;
      v.items.push_back(std::move(item));
      blanks();
      if (p_ < s_.size() && s_[p_] == ',') {
        ++p_;
        continue;
      }
      if (p_ < s_.size() && s_[p_] == ']') {
        ++p_;
        return true;
      }
      return fail("',' or ']' is missing");
    }
  }

  bool hex4(std::uint32_t& code) {
    if (p_ + 4 > s_.size()) return fail("a \\u escape is cut short");
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s_[p_++];
      code <<= 4;
      if (c >= '0' && c <= '9') code |= c - '0';
      else if (c >= 'a' && c <= 'f') code |= c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') code |= c - 'A' + 10;
      else return fail("a \\u escape holds a non-hex digit");
    }
    return true;
  }

  static void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  // One UTF-8 sequence copied as it is; false for a malformed one.
  bool utf8(std::string& out) {
    const auto c = static_cast<unsigned char>(s_[p_]);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) { n = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { n = 2; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { n = 3; cp = c & 0x07; }
    else return fail("the text is not UTF-8");
    if (p_ + n >= s_.size()) return fail("the text is not UTF-8");
    for (std::size_t i = 1; i <= n; ++i) {
      const auto b = static_cast<unsigned char>(s_[p_ + i]);
      if ((b & 0xC0) != 0x80) return fail("the text is not UTF-8");
      cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF.
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return fail("the text is not UTF-8");
    out.append(s_.substr(p_, n + 1));
    p_ += n + 1;
    return true;
  }

  bool string(std::string& out) {
    ++p_;  // the opening quote
    while (p_ < s_.size()) {
      const auto c = static_cast<unsigned char>(s_[p_]);
      if (c == '"') {
        ++p_;
        return true;
      }
      if (c < 0x20) return fail("a control character inside a string");
      if (c >= 0x80) {
        if (!utf8(out)) return false;
        continue;
      }
      if (c != '\\') {
        out += static_cast<char>(c);
        ++p_;
        continue;
      }
      if (++p_ >= s_.size()) break;
      const char e = s_[p_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          std::uint32_t cp = 0;
          if (!hex4(cp)) return false;
          if (cp >= 0xDC00 && cp <= 0xDFFF) return fail("a lone low surrogate");
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            std::uint32_t low = 0;
            if (s_.substr(p_, 2) != "\\u") return fail("a lone high surrogate");
            p_ += 2;
            if (!hex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return fail("a lone high surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          appendUtf8(out, cp);
          break;
        }
        default: return fail("an unknown escape");
      }
    }
    return fail("a string is not closed");
  }

  bool digits() {
    const std::size_t start = p_;
    while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9') ++p_;
    return p_ > start;
  }

  bool number(Value& v) {
    const std::size_t start = p_;
    if (s_[p_] == '-') ++p_;
    if (p_ >= s_.size()) return fail("a number is cut short");
    if (s_[p_] == '0') {
      ++p_;
    } else if (!digits()) {
      p_ = start;
      return fail("not a JSON value");
    }
    bool integral = true;
    if (p_ < s_.size() && s_[p_] == '.') {
      ++p_;
      integral = false;
      if (!digits()) return fail("a number needs digits after '.'");
    }
    if (p_ < s_.size() && (s_[p_] == 'e' || s_[p_] == 'E')) {
      ++p_;
      integral = false;
      if (p_ < s_.size() && (s_[p_] == '+' || s_[p_] == '-')) ++p_;
      if (!digits()) return fail("a number needs digits in its exponent");
    }
    const std::string_view text = s_.substr(start, p_ - start);
    v.kind = Value::Kind::Number;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v.number);
    if (r.ec == std::errc::result_out_of_range) {
      // Too small for a double reads as zero, too large as infinity, each with its sign:
      // enough to judge whether it fits a tag.
      const bool negative = text.front() == '-';
      const std::size_t e = text.find_first_of("eE");
      const bool tiny = text.substr(negative ? 1 : 0, 2) == "0." ||
                        (e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-');
      v.number = tiny ? (negative ? -0.0 : 0.0) : (negative ? -HUGE_VAL : HUGE_VAL);
    }
    if (integral) {
      const auto ri = std::from_chars(text.data(), text.data() + text.size(), v.integer);
      v.isInteger = ri.ec == std::errc();
      v.integerTooLarge = !v.isInteger;
    }
    return true;
  }

  std::string_view s_;
  std::size_t p_ = 0;
  std::string error_;
};

void write(std::string& out, const Value& v) {
  switch (v.kind) {
    case Value::Kind::Null: out += "null"; break;
    case Value::Kind::Bool: out += v.boolean ? "true" : "false"; break;
    case Value::Kind::Number:
      if (v.isInteger) {
        appendInteger(out, v.integer);
      } else if (std::isfinite(v.number)) {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.number);
        out.append(buf, r.ptr);
      } else {
        out += "null";
      }
      break;
    case Value::Kind::String: appendString(out, v.text); break;
    case Value::Kind::Array:
      out += '[';
      for (std::size_t i = 0; i < v.items.size(); ++i) {
        if (i) out += ',';
        write(out, v.items[i]);
      }
      out += ']';
      break;
    case Value::Kind::Object:
      out += '{';
      for (std::size_t i = 0; i < v.names.size(); ++i) {
        if (i) out += ',';
        appendString(out, v.names[i]);
        out += ':';
        write(out, v.items[i]);
      }
      out += '}';
      break;
  }
}

}  // namespace

bool parse(std::string_view text, Value& value, std::string& error) {
  if (text.size() > kMaxPayloadBytes) {
    error = "longer than " + std::to_string(kMaxPayloadBytes) + " bytes";
    return false;
  }
  Parser parser(text);
  value = Value();
  if (parser.document(value)) return true;
  error = parser.error();
  return false;
}

std::string serialize(const Value& value) {
  std::string out;
  write(out, value);
  return out;
}

}  // namespace zentarc::mqtt::json
