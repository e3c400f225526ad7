#pragma once
// An ordered collection found by key: iteration in insertion order, keys compared without
// regard to letter case, a duplicate key refused. A new key means remove and add again,
// so the element moves to the end.
#include <cstddef>
#include <iterator>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "editor/document/CaseFold.h"
#include "editor/document/EditorError.h"

namespace zentarc::editor {

template <typename T>
class KeyedCollection {
  struct Entry {
    std::string key;
    std::shared_ptr<T> value;
  };

 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = T*;
    using reference = T&;
    const_iterator() = default;
    explicit const_iterator(typename std::list<Entry>::const_iterator it) : it_(it) {}
    T& operator*() const { return *it_->value; }
    T* operator->() const { return it_->value.get(); }
    const std::string& key() const { return it_->key; }
    const_iterator& operator++() {
      ++it_;
      return *this;
    }
    const_iterator operator++(int) {
      auto old = *this;
      ++it_;
      return old;
    }
    bool operator==(const const_iterator& o) const { return it_ == o.it_; }

   private:
    typename std::list<Entry>::const_iterator it_;
  };

  std::size_t Count() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  bool contains(const std::string& key) const { return index_.count(foldCase(key)) != 0; }

  // Throws EditorError DuplicateKey when the key is present.
  T& Add(std::shared_ptr<T> value, const std::string& key) {
    const std::string folded = foldCase(key);
    if (index_.count(folded))
      throw EditorError(ErrorNumber::DuplicateKey,
                        "The name \"" + key + "\" is already in use (names compare without regard to letter case). "
                        "Choose another name.");
    entries_.push_back(Entry{key, std::move(value)});
    index_.emplace(folded, std::prev(entries_.end()));
    return *entries_.back().value;
  }
  T& Add(T value, const std::string& key) {
    return Add(std::make_shared<T>(std::move(value)), key);
  }

  // Throws EditorError KeyNotFound when absent.
  T& Item(const std::string& key) const { return *find(key)->second->value; }
  std::shared_ptr<T> shared(const std::string& key) const { return find(key)->second->value; }
  T* tryItem(const std::string& key) const {
    auto it = index_.find(foldCase(key));
    return it == index_.end() ? nullptr : it->second->value.get();
  }

  void Remove(const std::string& key) {
    auto it = find(key);
    entries_.erase(it->second);
    index_.erase(it);
  }

  T& last() const { return *entries_.back().value; }

  const_iterator begin() const { return const_iterator(entries_.cbegin()); }
  const_iterator end() const { return const_iterator(entries_.cend()); }

 private:
  using Index = std::unordered_map<std::string, typename std::list<Entry>::iterator>;
  typename Index::const_iterator find(const std::string& key) const {
    auto it = index_.find(foldCase(key));
    if (it == index_.end())
      throw EditorError(ErrorNumber::KeyNotFound, "No PLC or item is named \"" + key +
                                                      "\" any more. Click the PLCs node to refresh the view and try again.");
    return it;
  }

  std::list<Entry> entries_;
  Index index_;
};

}  // namespace zentarc::editor
