#include "server/toolkit/ua/services/AddressSpace.h"

#include "server/toolkit/ua/NodeIds.h"

namespace zentarc::ua {

NodeId Node::typeDefinition() const {
  for (const auto& r : references)
    if (r.isForward && r.typeId.isNumeric(Id::HasTypeDefinition)) return r.target;
  return NodeId();
}

bool AddressSpace::add(Node node) {
  NodeId id = node.nodeId;
  return nodes_.emplace(std::move(id), std::move(node)).second;
}

bool AddressSpace::addReference(const NodeId& source, const NodeId& typeId, const NodeId& target) {
  auto s = nodes_.find(source);
  auto t = nodes_.find(target);
  if (s == nodes_.end() || t == nodes_.end()) return false;
  s->second.references.push_back({typeId, true, target});
  t->second.references.push_back({typeId, false, source});
  return true;
}

const Node* AddressSpace::find(const NodeId& id) const {
  auto it = nodes_.find(id);
  return it == nodes_.end() ? nullptr : &it->second;
}

Node* AddressSpace::findMutable(const NodeId& id) {
  auto it = nodes_.find(id);
  return it == nodes_.end() ? nullptr : &it->second;
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
