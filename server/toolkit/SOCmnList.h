#pragma once
// SOCmnListHeader<T>: an ordered list with its own (recursive) lock and optional string keys.
// Elements that are toolkit objects (derived from SOCmnObject) are held by a counted
// reference; plain records are owned by the list (deleted with it) until removeHead() hands
// them back to the caller.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>

#include "server/toolkit/SOCmnObject.h"

// The list type bits that the configuration below combines; only the toolkit reads them.
inline constexpr std::uint32_t SOCMNLIST_TYPE_ORG_LIST = 0x0004;
inline constexpr std::uint32_t SOCMNLIST_TYPE_KEY_STRING = 0x0020;
inline constexpr std::uint32_t SOCMNLIST_TYPE_OBJ_OBJECT = 0x0100;
inline constexpr std::uint32_t SOCMNLIST_TYPE_SYNCED = 0x4000;

struct SOCmnListConfig {
  std::uint32_t type = SOCMNLIST_TYPE_ORG_LIST | SOCMNLIST_TYPE_SYNCED;
  std::uint32_t hashTableSize = 0;  // sizing hints
  std::uint32_t initialCapacity = 0;
};

// 0 = past the end; otherwise the 1-based index of the next element to visit.
using SOCmnListPosition = std::size_t;

template <class T>
class SOCmnListHeader {
 public:
  static constexpr bool kCounted = std::is_base_of_v<SOCmnObject, T>;
  using Holder = std::conditional_t<kCounted, SOCmnPointer<T>, std::unique_ptr<T>>;

  SOCmnListHeader() = default;
  explicit SOCmnListHeader(const SOCmnListConfig& config) : config_(config) {}
  SOCmnListHeader(const SOCmnListHeader&) = delete;
  SOCmnListHeader& operator=(const SOCmnListHeader&) = delete;

  const SOCmnListConfig& getConfig() const { return config_; }
  bool isKeyed() const { return (config_.type & SOCMNLIST_TYPE_KEY_STRING) != 0; }

  void lock() const { mutex_.lock(); }
  void unlock() const { mutex_.unlock(); }

  // Appends at the end. Toolkit objects: the list takes over the holder's reference.
  void add(Holder item, std::string_view key = {}) {
    std::lock_guard g(mutex_);
    entries_.push_back(Entry{std::move(item), std::string(key)});
  }

  std::size_t getCount() const { std::lock_guard g(mutex_); return entries_.size(); }
  bool isEmpty() const { std::lock_guard g(mutex_); return entries_.empty(); }

  // Borrowed pointer, or nullptr past the end. Valid while the element stays in the list.
  T* getIndex(std::size_t index) const {
    std::lock_guard g(mutex_);
    return index < entries_.size() ? entries_[index].item.get() : nullptr;
  }

  SOCmnListPosition getStartPosition() const {
    std::lock_guard g(mutex_);
    return entries_.empty() ? 0 : 1;
  }
  // The element at pos (borrowed), advancing pos; pos becomes 0 after the last one.
  T* getNext(SOCmnListPosition& pos) const {
    std::lock_guard g(mutex_);
    if (pos == 0 || pos > entries_.size()) { pos = 0; return nullptr; }
    T* item = entries_[pos - 1].item.get();
    pos = pos < entries_.size() ? pos + 1 : 0;
    return item;
  }

  // First element whose key equals `key` exactly (borrowed), or nullptr.
  T* findKey(std::string_view key) const {
    std::lock_guard g(mutex_);
    for (const auto& e : entries_)
      if (e.key == key) return e.item.get();
    return nullptr;
  }

  // Takes the first element out and hands its reference (or ownership) to the caller.
  Holder removeHead() {
    std::lock_guard g(mutex_);
    if (entries_.empty()) return Holder();
    Holder h = std::move(entries_.front().item);
    entries_.pop_front();
    return h;
  }

  // Removes every entry holding `item`; true when one was found.
  bool removeObject(const T* item) {
    std::lock_guard g(mutex_);
    bool found = false;
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (it->item.get() == item) { it = entries_.erase(it); found = true; }
      else ++it;
    }
    return found;
  }

  // Removes, in one pass, every entry whose element `pred` picks; returns how many went.
  template <class Pred>
  std::size_t removeIf(Pred pred) {
    std::lock_guard g(mutex_);
    const std::size_t before = entries_.size();
    std::erase_if(entries_, [&pred](const Entry& e) { return pred(e.item.get()); });
    return before - entries_.size();
  }

  bool contains(const T* item) const {
    std::lock_guard g(mutex_);
    for (const auto& e : entries_)
      if (e.item.get() == item) return true;
    return false;
  }

  // Releases (or deletes) every element.
  void removeAll() {
    std::deque<Entry> old;
    {
      std::lock_guard g(mutex_);
      old.swap(entries_);
    }
  }

 private:
  struct Entry {
    Holder item;
    std::string key;
  };
  SOCmnListConfig config_;
  mutable std::recursive_mutex mutex_;
  std::deque<Entry> entries_;
};
