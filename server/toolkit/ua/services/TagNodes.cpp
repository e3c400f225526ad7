#include "server/toolkit/ua/services/TagNodes.h"

#include "server/toolkit/ua/NodeIds.h"
#include "server/toolkit/ua/services/ValueMapping.h"

namespace zentarc::ua {

NodeId tagNodeId(const std::string& tagName) { return NodeId(kTagNamespace, tagName); }

size_t addTagNodes(AddressSpace& space, SODaSNameSpaceRoot& root, double minimumSamplingInterval) {
  size_t added = 0;
  for (const auto& tag : root.getTags()) {
    const VARTYPE vt = tag->getNativeDatatype();
    const uint32_t dataType = dataTypeForVartype(vt);
    if (dataType == 0) continue;
    Node n;
    n.nodeId = tagNodeId(tag->getName());
    n.nodeClass = NodeClass::Variable;
    n.dataType = NodeId(0, dataType);
    const SOCmnVariant initial = tag->getCache()->getValue();
    n.valueBytes = sizeof(DataValue);
    if (vt & VT_ARRAY) {
      n.valueRank = 1;
      n.arrayLength = initial.arrayCount();
      n.valueBytes += size_t{initial.arrayCount()} * sizeof(Scalar);
    } else if (vt == VT_BSTR) {
      n.valueBytes += initial.bstrVal().size() * 3;  // UTF-8 of UTF-16 text
    }
    const uint32_t rights = tag->getAccessRights();
    n.accessLevel = static_cast<uint8_t>(((rights & OPC_READABLE) ? kAccessCurrentRead : 0) |
                                         ((rights & OPC_WRITEABLE) ? kAccessCurrentWrite : 0));
    n.minimumSamplingInterval = minimumSamplingInterval;
    n.tag = tag;
    n.cache = tag->getCache().get();
    if (!space.add(std::move(n))) continue;
    ++added;
  }
  return added;
}

}  // namespace zentarc::ua
