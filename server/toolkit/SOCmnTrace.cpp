#include "server/toolkit/SOCmnTrace.h"

#include <cstdarg>
#include <cstdio>
#include <iostream>

SOCmnTrace::SOCmnTrace() {
  levelMasks_[SOCMNTRACE_L_ERR] = SOCMNTRACE_G_ALL;
  levelMasks_[SOCMNTRACE_L_WRN] = SOCMNTRACE_G_ALL;
}

std::uint32_t SOCmnTrace::getLevelMask(unsigned level) const {
  std::lock_guard g(mutex_);
  return level < levelMasks_.size() ? levelMasks_[level] : 0;
}

void SOCmnTrace::setLevelMask(unsigned level, std::uint32_t mask) {
  std::lock_guard g(mutex_);
  if (level < levelMasks_.size()) levelMasks_[level] = mask;
}

SOCmnString SOCmnTrace::expand(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  char buffer[1024];
  const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
  va_end(args);
  return SOCmnString(n < 0 ? "" : buffer);
}

void SOCmnTrace::trace(unsigned level, std::uint32_t mask, std::string_view id, std::string_view text) {
  Sink sink;
  {
    std::lock_guard g(mutex_);
    if (level >= levelMasks_.size() || (levelMasks_[level] & mask) == 0) return;
    sink = sink_;
  }
  if (sink) {
    sink(level, mask, id, text);
  } else {
    std::cerr << id << ": " << text << '\n';
  }
}

void SOCmnTrace::setSink(Sink sink) {
  std::lock_guard g(mutex_);
  sink_ = std::move(sink);
}

SOCmnTrace* getSOCmnTrace() {
  static SOCmnTrace* trace = new SOCmnTrace();  // outlives every thread that may trace
  return trace;
}
