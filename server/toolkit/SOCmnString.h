#pragma once
// The toolkit's string: 8-bit text (UTF-8 inside this system).
#include <string>
#include <string_view>

class SOCmnString {
 public:
  SOCmnString() = default;
  SOCmnString(std::string_view s) : s_(s) {}
  SOCmnString(const char* s) : s_(s ? s : "") {}

  SOCmnString& assign(std::string_view s) { s_.assign(s); return *this; }
  SOCmnString& append(std::string_view s) { s_.append(s); return *this; }
  // printf-style; replaces the contents.
  SOCmnString& format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  // Replaces every occurrence of `from`; nonzero when something was replaced.
  int replace(std::string_view from, std::string_view to);
  void empty() { s_.clear(); }

  bool isEmpty() const { return s_.empty(); }
  std::size_t getLength() const { return s_.size(); }
  const char* c_str() const { return s_.c_str(); }
  const std::string& str() const { return s_; }
  operator std::string_view() const { return s_; }
  bool operator==(const SOCmnString& o) const { return s_ == o.s_; }
  bool operator==(std::string_view o) const { return s_ == o; }

 private:
  std::string s_;
};
