#include "server/toolkit/SOCmnString.h"

#include <cstdarg>
#include <cstdio>

SOCmnString& SOCmnString::format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n < 0) {
    s_.clear();
  } else {
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<std::size_t>(n));
    s_.swap(out);
  }
  va_end(args);
  return *this;
}

int SOCmnString::replace(std::string_view from, std::string_view to) {
  if (from.empty()) return 0;
  int replaced = 0;
  std::string out;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = s_.find(from, pos);
    if (hit == std::string::npos) break;
    out.append(s_, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
    ++replaced;
  }
  if (replaced == 0) return 0;
  out.append(s_, pos, std::string::npos);
  s_.swap(out);
  return replaced;
}
