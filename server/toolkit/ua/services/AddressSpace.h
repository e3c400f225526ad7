#pragma once
// The nodes clients browse and read: the standard folders, types and Server object, the
// plant's folders and diagnostics, and one Variable per tag. Built once before serving
// starts and only read afterwards, so lookups need no lock; values that change come from a
// tag's cache or from a value source.
//
// A plant has a hundred thousand tags, so a tag's node is kept small: its texts come from
// the tag, and its references are computed (its type definition, the folder that organises
// it) rather than stored with it or with the folder. Other nodes keep theirs in details.
#include <functional>
#include <memory>
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

// A value together with the time it took on that value (its SourceTimestamp).
struct TimedValue {
  Variant value;
  DateTime sourceTime;
};

struct Node;

// What nodes other than tags' carry: their texts, type attributes, values, and the
// references stored with them.
struct NodeDetails {
  QualifiedName browseName;
  LocalizedText displayName;
  LocalizedText description;
  LocalizedText inverseName;  // ReferenceType

  // Variable, VariableType: a constant value, one computed on each read (stamped with the
  // time of the read), or one that knows when it last changed.
  Variant value;
  std::function<Variant()> valueSource;
  std::function<TimedValue()> timedValueSource;

  std::vector<Reference> references;
  // The nodes this folder organises through AddressSpace::organize (each has it as parent).
  std::vector<const Node*> organized;
};

struct Node {
  NodeId nodeId;
  NodeClass nodeClass = NodeClass::Object;
  uint8_t accessLevel = kAccessCurrentRead;  // Variable
  uint8_t eventNotifier = 0;                 // Object, View
  bool isAbstract = false;                   // types
  bool symmetric = false;                    // ReferenceType
  int32_t valueRank = -1;                    // Variable, VariableType
  uint32_t arrayLength = 0;                  // ArrayDimensions [arrayLength] when valueRank is 1
  NodeId dataType;
  double minimumSamplingInterval = 0;

  // A tag's node: its value lives in the tag's cache (borrowed from the tag, which keeps it
  // for its whole life; kept here so reads skip the reference counting). Its browse and
  // display names are the tag's name, its description the tag's comment, and its type
  // definition BaseDataVariableType.
  SOCmnPointer<SODaSTag> tag;
  SODaSCache* cache = nullptr;
  size_t valueBytes = 0;  // about what one decoded value of the tag takes in memory

  // The folder that organises this node through AddressSpace::organize (null when none).
  const Node* parent = nullptr;

  std::unique_ptr<NodeDetails> details;  // null for tags

  QualifiedName browseName() const;
  bool hasBrowseName(const QualifiedName& name) const;
  LocalizedText displayName() const;
  LocalizedText description() const;
  // The target of the forward HasTypeDefinition reference (null when none).
  NodeId typeDefinition() const;
  // The details, made on first use (while the address space is built).
  NodeDetails& edit();
};

// A reference of a node as Browse and TranslateBrowsePaths see it, stored or computed.
struct ReferenceView {
  const NodeId& typeId;
  bool isForward;
  const Node& target;
};

class AddressSpace {
 public:
  AddressSpace();
  AddressSpace(const AddressSpace&) = delete;
  AddressSpace& operator=(const AddressSpace&) = delete;

  // Adds a node; false when its NodeId is taken. Nodes never move once added.
  bool add(Node node);
  // Adds the forward reference to `source` and the inverse one to `target`; both must exist.
  bool addReference(const NodeId& source, const NodeId& typeId, const NodeId& target);
  // `folder` Organizes `member`, computed from the member's parent and the folder's list of
  // members (one pointer per member, not two references). False when either is missing or
  // the member is organised already.
  bool organize(const NodeId& folder, const NodeId& member);
  bool organize(Node& folder, Node& member);  // both nodes of this space

  const Node* find(const NodeId& id) const;
  Node* findMutable(const NodeId& id);
  size_t size() const { return size_; }

  // Calls fn(const ReferenceView&) for every reference of the node, stored ones first, until
  // fn returns false.
  template <typename Fn>
  void forEachReference(const Node& node, Fn&& fn) const;
  size_t referenceCount(const Node& node) const;

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

  // Nodes in chunks that never move (a deque would give a 150-byte node a block of three).
  static constexpr size_t kChunk = 1024;
  std::vector<std::unique_ptr<Node[]>> chunks_;
  size_t size_ = 0;
  std::vector<Slot> index_;
  const NodeId hasTypeDefinition_;
  const NodeId organizes_;
  const NodeId baseDataVariableType_;
};

template <typename Fn>
void AddressSpace::forEachReference(const Node& node, Fn&& fn) const {
  if (node.details) {
    for (const Reference& r : node.details->references) {
      const Node* t = find(r.target);
      if (t && !fn(ReferenceView{r.typeId, r.isForward, *t})) return;
    }
  }
  if (node.tag) {
    const Node* type = find(baseDataVariableType_);
    if (type && !fn(ReferenceView{hasTypeDefinition_, true, *type})) return;
  }
  if (node.parent && !fn(ReferenceView{organizes_, false, *node.parent})) return;
  if (node.details)
    for (const Node* member : node.details->organized)
      if (!fn(ReferenceView{organizes_, true, *member})) return;
}

}  // namespace zentarc::ua
