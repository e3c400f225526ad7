#pragma once
// Intrusive reference counting for every toolkit object. A new object starts with one
// reference owned by its creator; release() deletes the object when the last one goes.
#include <atomic>
#include <cstdint>

class SOCmnObject {
 public:
  explicit SOCmnObject(std::uint32_t objectType = 0) : objectType_(objectType) {}
  SOCmnObject(const SOCmnObject&) = delete;
  SOCmnObject& operator=(const SOCmnObject&) = delete;

  // Both return the count after the change.
  long addRef() { return refCount_.fetch_add(1, std::memory_order_relaxed) + 1; }
  long release();
  long getRefCount() const { return refCount_.load(std::memory_order_relaxed); }
  std::uint32_t getObjectType() const { return objectType_; }

 protected:
  virtual ~SOCmnObject() = default;

 private:
  std::atomic<long> refCount_{1};
  std::uint32_t objectType_;
};

// Holds one reference. Constructing from a raw pointer ADOPTS a reference the caller
// already owns (a new object, or what a counting getter returned); use share() to take an
// additional reference on a pointer borrowed from elsewhere.
template <class T>
class SOCmnPointer {
 public:
  SOCmnPointer() = default;
  SOCmnPointer(std::nullptr_t) {}
  explicit SOCmnPointer(T* adopted) : p_(adopted) {}
  static SOCmnPointer share(T* borrowed) {
    if (borrowed) borrowed->addRef();
    return SOCmnPointer(borrowed);
  }
  SOCmnPointer(const SOCmnPointer& o) : p_(o.p_) { if (p_) p_->addRef(); }
  SOCmnPointer(SOCmnPointer&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  template <class U>
  SOCmnPointer(const SOCmnPointer<U>& o) : p_(o.get()) { if (p_) p_->addRef(); }
  template <class U>
  SOCmnPointer(SOCmnPointer<U>&& o) noexcept : p_(o.detach()) {}
  ~SOCmnPointer() { if (p_) p_->release(); }
  SOCmnPointer& operator=(SOCmnPointer o) noexcept {
    T* old = p_;
    p_ = o.p_;
    o.p_ = old;
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool isNotNull() const { return p_ != nullptr; }
  // Gives up the reference without releasing it; the caller now owns it.
  T* detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void reset() { *this = SOCmnPointer(); }

 private:
  T* p_ = nullptr;
};

template <class T, class U>
bool operator==(const SOCmnPointer<T>& a, const SOCmnPointer<U>& b) { return a.get() == b.get(); }
