#pragma once
// The flat namespace: every tag is a leaf of the root, kept in the order it was added.
// Filled before serving starts; lookups and walks are thread-safe.
#include <cstddef>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "server/toolkit/SOCmnObject.h"
#include "server/toolkit/SOCmnString.h"
#include "server/toolkit/SODaSTag.h"

class SODaSNameSpaceRoot : public SOCmnObject {
 public:
  SODaSNameSpaceRoot();

  // The root's two delimiter strings (tree delimiter, second delimiter set), for the server
  // to set at start-up before any tag is added.
  void getTreeDelimiter(SOCmnString*& delimiter, SOCmnString*& secondDelimiter);
  std::string getDelimiter() const;

  // Adds the tag as a leaf (the root takes its own reference). A name already in use (or an
  // empty one) is refused: false, nothing added.
  bool addLeaf(SODaSTag* tag);

  SOCmnPointer<SODaSTag> findTag(std::string_view name) const;  // exact name; counted
  std::size_t getTagCount() const;
  SOCmnPointer<SODaSTag> getTag(std::size_t index) const;  // load order; counted
  std::vector<SOCmnPointer<SODaSTag>> getTags() const;    // load order

  // Releases every leaf (at terminate).
  void removeAll();

 protected:
  ~SODaSNameSpaceRoot() override;

 private:
  mutable std::shared_mutex mutex_;
  SOCmnString delimiter_;
  SOCmnString secondDelimiter_;
  std::vector<SOCmnPointer<SODaSTag>> tags_;
  // Keys view the tags' own names, which do not change once a tag is a leaf.
  std::unordered_map<std::string_view, std::size_t> index_;
};
