#pragma once
// The nodes clients browse and read: the standard folders, types and Server object, and one
// Variable per tag. Built once before serving starts and only read afterwards, so lookups
// need no lock; values that change come from a tag's cache or from a value source.
#include <deque>
#include <functional>
#include <vector>

#include "server/toolkit/SODaSTag.h"
#include "server/toolkit/ua/Types.h"

namespace zentarc::ua {

struct Reference {
  NodeId typeId;
  bool isForward = true;
  NodeId target;
};

// Access level bits.
inline constexpr uint8_t kAccessCurrentRead = 1, kAccessCurrentWrite = 2;

struct Node {
  NodeId nodeId;
  NodeClass nodeClass = NodeClass::Object;
  QualifiedName browseName;
  LocalizedText displayName;
  LocalizedText description;
  std::vector<Reference> references;

  uint8_t eventNotifier = 0;   // Object, View
  bool isAbstract = false;     // types
  bool symmetric = false;      // ReferenceType
  LocalizedText inverseName;   // ReferenceType

  // Variable, VariableType
  Variant value;                        // a constant value ...
  std::function<Variant()> valueSource;  // ... or one computed on each read
  NodeId dataType;
  int32_t valueRank = -1;
  std::vector<uint32_t> arrayDimensions;
  uint8_t accessLevel = kAccessCurrentRead;
  double minimumSamplingInterval = 0;

  // A tag's node: its value lives in the tag's cache (borrowed from the tag, which keeps it
  // for its whole life; kept here so reads skip the reference counting).
  SOCmnPointer<SODaSTag> tag;
  SODaSCache* cache = nullptr;
  size_t valueBytes = 0;  // about what one decoded value of the tag takes in memory

  // The target of the first forward HasTypeDefinition reference (null when none).
  NodeId typeDefinition() const;
};

class AddressSpace {
 public:
  // Adds a node; false when its NodeId is taken. Nodes never move once added.
  bool add(Node node);
  // Adds the forward reference to `source` and the inverse one to `target`; both must exist.
  bool addReference(const NodeId& source, const NodeId& typeId, const NodeId& target);

  const Node* find(const NodeId& id) const;
  Node* findMutable(const NodeId& id);
  size_t size() const { return nodes_.size(); }

  // True when `type` is `base` or one of its subtypes (following inverse HasSubtype).
  bool isSubtypeOf(const NodeId& type, const NodeId& base) const;

 private:
  // Open addressing with linear probing over (hash, node): a Read of a thousand tags costs
  // one cache miss per lookup instead of a walk through a bucket chain.
  struct Slot {
    size_t hash = 0;
    Node* node = nullptr;
  };
  void grow();

  std::deque<Node> nodes_;
  std::vector<Slot> index_;
};

}  // namespace zentarc::ua
