#include "tests/support/AllocationMeter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> held{0};
std::atomic<std::size_t> peak{0};
std::atomic<std::size_t> base{0};

void* take(std::size_t n, std::size_t align = 0) {
  if (n == 0) n = 1;
  void* p = align > alignof(std::max_align_t) ? std::aligned_alloc(align, (n + align - 1) / align * align)
                                              : std::malloc(n);
  if (!p) return nullptr;
  const std::size_t now = held.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) +
                          malloc_usable_size(p);
  std::size_t seen = peak.load(std::memory_order_relaxed);
  while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
  }
  return p;
}

void give(void* p) {
  if (!p) return;
  held.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
  std::free(p);
}

}  // namespace

namespace zentarc::testsupport {

std::size_t AllocationMeter::current() { return held.load(); }

void AllocationMeter::resetPeak() {
  base = held.load();
  peak = base.load();
}

std::size_t AllocationMeter::peakAboveReset() {
  const std::size_t p = peak.load(), b = base.load();
  return p > b ? p - b : 0;
}

}  // namespace zentarc::testsupport

void* operator new(std::size_t n) {
  if (void* p = take(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return take(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return take(n); }
void* operator new(std::size_t n, std::align_val_t a) {
  if (void* p = take(n, static_cast<std::size_t>(a))) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) { return operator new(n, a); }
void operator delete(void* p) noexcept { give(p); }
void operator delete[](void* p) noexcept { give(p); }
void operator delete(void* p, std::size_t) noexcept { give(p); }
void operator delete[](void* p, std::size_t) noexcept { give(p); }
void operator delete(void* p, std::align_val_t) noexcept { give(p); }
void operator delete[](void* p, std::align_val_t) noexcept { give(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { give(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { give(p); }
