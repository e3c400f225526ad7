#include "server/toolkit/ua/services/AddressSpace.h"

#include "server/toolkit/ua/NodeIds.h"

namespace zentarc::ua {

namespace {
const NodeDetails kNoDetails{};
}  // namespace

QualifiedName Node::browseName() const {
  if (tag) return QualifiedName{nodeId.namespaceIndex, tag->getName()};
  return (details ? *details : kNoDetails).browseName;
}

bool Node::hasBrowseName(const QualifiedName& name) const {
  if (tag) return name.namespaceIndex == nodeId.namespaceIndex && name.name == tag->getName();
  return (details ? *details : kNoDetails).browseName == name;
}

LocalizedText Node::displayName() const {
  if (tag) return LocalizedText(tag->getName());
  return (details ? *details : kNoDetails).displayName;
}

LocalizedText Node::description() const {
  if (tag) return LocalizedText(tag->getDescription());
  return (details ? *details : kNoDetails).description;
}

NodeId Node::typeDefinition() const {
  if (tag) return NodeId(0, Id::BaseDataVariableType);
  if (details)
    for (const auto& r : details->references)
      if (r.isForward && r.typeId.isNumeric(Id::HasTypeDefinition)) return r.target;
  return NodeId();
}

NodeDetails& Node::edit() {
  if (!details) details = std::make_unique<NodeDetails>();
  return *details;
}

AddressSpace::AddressSpace()
    : hasTypeDefinition_(0, Id::HasTypeDefinition),
      organizes_(0, Id::Organizes),
      baseDataVariableType_(0, Id::BaseDataVariableType) {}

bool AddressSpace::add(Node node) {
  if (find(node.nodeId)) return false;
  if ((size_ + 1) * 2 > index_.size()) grow();
  if (size_ % kChunk == 0) chunks_.push_back(std::make_unique<Node[]>(kChunk));
  Node& stored = chunks_.back()[size_ % kChunk];
  stored = std::move(node);
  ++size_;
  const size_t h = NodeIdHash()(stored.nodeId);
  const size_t mask = index_.size() - 1;
  size_t i = h & mask;
  while (index_[i].node) i = (i + 1) & mask;
  index_[i] = Slot{h, &stored};
  return true;
}

void AddressSpace::grow() {
  std::vector<Slot> bigger(index_.empty() ? 1024 : index_.size() * 2);
  const size_t mask = bigger.size() - 1;
  for (const Slot& s : index_) {
    if (!s.node) continue;
    size_t i = s.hash & mask;
    while (bigger[i].node) i = (i + 1) & mask;
    bigger[i] = s;
  }
  index_ = std::move(bigger);
}

bool AddressSpace::addReference(const NodeId& source, const NodeId& typeId, const NodeId& target) {
  Node* s = findMutable(source);
  Node* t = findMutable(target);
  if (!s || !t) return false;
  s->edit().references.push_back({typeId, true, target});
  t->edit().references.push_back({typeId, false, source});
  return true;
}

bool AddressSpace::organize(const NodeId& folder, const NodeId& member) {
  Node* f = findMutable(folder);
  Node* m = findMutable(member);
  return f && m && organize(*f, *m);
}

bool AddressSpace::organize(Node& folder, Node& member) {
  if (member.parent || &folder == &member) return false;
  folder.edit().organized.push_back(&member);
  member.parent = &folder;
  return true;
}

const Node* AddressSpace::find(const NodeId& id) const {
  if (index_.empty()) return nullptr;
  const size_t h = NodeIdHash()(id);
  const size_t mask = index_.size() - 1;
  // The table is at most half full, so a probe always meets an empty slot.
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    const Slot& s = index_[i];
    if (!s.node) return nullptr;
    if (s.hash == h && s.node->nodeId == id) return s.node;
  }
}

Node* AddressSpace::findMutable(const NodeId& id) {
  return const_cast<Node*>(static_cast<const AddressSpace*>(this)->find(id));
}

size_t AddressSpace::referenceCount(const Node& node) const {
  size_t n = (node.tag ? 1 : 0) + (node.parent ? 1 : 0);
  if (node.details) n += node.details->references.size() + node.details->organized.size();
  return n;
}

bool AddressSpace::isSubtypeOf(const NodeId& type, const NodeId& base) const {
  NodeId current = type;
  // The type tree is shallow; the bound only guards against a cycle.
  for (int depth = 0; depth < 32; ++depth) {
    if (current == base) return true;
    const Node* n = find(current);
    if (!n || !n->details) return false;
    const NodeId* parent = nullptr;
    for (const auto& r : n->details->references)
      if (!r.isForward && r.typeId.isNumeric(Id::HasSubtype)) {
        parent = &r.target;
        break;
      }
    if (!parent) return false;
    current = *parent;
  }
  return false;
}

}  // namespace zentarc::ua
