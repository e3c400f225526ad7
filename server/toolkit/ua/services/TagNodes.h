#pragma once
// One Variable node per tag: NodeId ns=1;s=<tag name>, with the tag's comment as its
// description and its access rights as AccessLevel. The plant's folders organise them.
#include "server/toolkit/SODaSNameSpaceRoot.h"
#include "server/toolkit/ua/services/AddressSpace.h"

namespace zentarc::ua {

inline constexpr uint16_t kTagNamespace = 1;

NodeId tagNodeId(const std::string& tagName);

// Adds a node for every tag of the root, in load order; returns how many were added (a tag
// whose type has no UA form, or a name clash, is skipped). Tags come before every other
// node of namespace 1, so a tag always keeps its NodeId.
size_t addTagNodes(AddressSpace& space, SODaSNameSpaceRoot& root, double minimumSamplingInterval);

}  // namespace zentarc::ua
