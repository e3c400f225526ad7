#include "server/toolkit/ua/services/AddressSpace.h"

#include "server/toolkit/ua/NodeIds.h"

namespace zentarc::ua {

NodeId Node::typeDefinition() const {
  for (const auto& r : references)
    if (r.isForward && r.typeId.isNumeric(Id::HasTypeDefinition)) return r.target;
  return NodeId();
}

bool AddressSpace::add(Node node) {
  if (find(node.nodeId)) return false;
  if ((nodes_.size() + 1) * 2 > index_.size()) grow();
  Node& stored = nodes_.emplace_back(std::move(node));
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
  s->references.push_back({typeId, true, target});
  t->references.push_back({typeId, false, source});
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

bool AddressSpace::isSubtypeOf(const NodeId& type, const NodeId& base) const {
  NodeId current = type;
  // The type tree is shallow; the bound only guards against a cycle.
  for (int depth = 0; depth < 32; ++depth) {
    if (current == base) return true;
    const Node* n = find(current);
    if (!n) return false;
    const NodeId* parent = nullptr;
    for (const auto& r : n->references)
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
