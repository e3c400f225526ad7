#include "server/toolkit/SODaSNameSpaceRoot.h"

#include <mutex>

SODaSNameSpaceRoot::SODaSNameSpaceRoot() : delimiter_("."), secondDelimiter_("") {}

SODaSNameSpaceRoot::~SODaSNameSpaceRoot() = default;

void SODaSNameSpaceRoot::getTreeDelimiter(SOCmnString*& delimiter, SOCmnString*& secondDelimiter) {
  delimiter = &delimiter_;
  secondDelimiter = &secondDelimiter_;
}

std::string SODaSNameSpaceRoot::getDelimiter() const {
  std::shared_lock g(mutex_);
  return delimiter_.str();
}

bool SODaSNameSpaceRoot::addLeaf(SODaSTag* tag) {
  if (!tag || tag->getName().empty()) return false;
  std::unique_lock g(mutex_);
  if (index_.count(tag->getName()) != 0) return false;
  tags_.push_back(SOCmnPointer<SODaSTag>::share(tag));
  index_.emplace(std::string_view(tag->getName()), tags_.size() - 1);
  return true;
}

SOCmnPointer<SODaSTag> SODaSNameSpaceRoot::findTag(std::string_view name) const {
  std::shared_lock g(mutex_);
  const auto it = index_.find(name);
  return it == index_.end() ? SOCmnPointer<SODaSTag>() : tags_[it->second];
}

std::size_t SODaSNameSpaceRoot::getTagCount() const {
  std::shared_lock g(mutex_);
  return tags_.size();
}

SOCmnPointer<SODaSTag> SODaSNameSpaceRoot::getTag(std::size_t index) const {
  std::shared_lock g(mutex_);
  return index < tags_.size() ? tags_[index] : SOCmnPointer<SODaSTag>();
}

std::vector<SOCmnPointer<SODaSTag>> SODaSNameSpaceRoot::getTags() const {
  std::shared_lock g(mutex_);
  return tags_;
}

void SODaSNameSpaceRoot::removeAll() {
  std::vector<SOCmnPointer<SODaSTag>> old;  // released outside the lock
  std::unique_lock g(mutex_);
  index_.clear();
  old.swap(tags_);
  g.unlock();
}
