// Browse, BrowseNext, TranslateBrowsePathsToNodeIds, RegisterNodes and UnregisterNodes.
#include "server/toolkit/ua/NodeIds.h"
#include "server/toolkit/ua/services/UaServices.h"

namespace zentarc::ua {

namespace {

constexpr size_t kTranslateBudget = 2'000'000;

bool referenceMatches(const AddressSpace& space, const ReferenceView& r, BrowseDirection dir,
                      const NodeId& refType, bool includeSubtypes) {
  if (dir == BrowseDirection::Forward && !r.isForward) return false;
  if (dir == BrowseDirection::Inverse && r.isForward) return false;
  if (refType.isNull()) return true;
  if (r.typeId == refType) return true;
  return includeSubtypes && space.isSubtypeOf(r.typeId, refType);
}

ReferenceDescription describe(const ReferenceView& r, uint32_t mask) {
  ReferenceDescription d;
  const Node& t = r.target;
  d.nodeId = ExpandedNodeId(t.nodeId);
  if (mask & BrowseResultMask::ReferenceTypeId) d.referenceTypeId = r.typeId;
  if (mask & BrowseResultMask::IsForward) d.isForward = r.isForward;
  if (mask & BrowseResultMask::NodeClass) d.nodeClass = t.nodeClass;
  if (mask & BrowseResultMask::BrowseName) d.browseName = t.browseName();
  if (mask & BrowseResultMask::DisplayName) d.displayName = t.displayName();
  if ((mask & BrowseResultMask::TypeDefinition) &&
      (t.nodeClass == NodeClass::Object || t.nodeClass == NodeClass::Variable))
    d.typeDefinition = ExpandedNodeId(t.typeDefinition());
  return d;
}

}  // namespace

StatusCode UaServices::browseOne(SessionState& state, const BrowseDescription& d, uint32_t maxRefs,
                                 size_t offset, BrowseResult& result) {
  const Node* node = space_.find(d.nodeId);
  if (!node) return Status::BadNodeIdUnknown;
  if (d.browseDirection < BrowseDirection::Forward || d.browseDirection > BrowseDirection::Both)
    return Status::BadBrowseDirectionInvalid;
  if (!d.referenceTypeId.isNull()) {
    const Node* rt = space_.find(d.referenceTypeId);
    if (!rt || rt->nodeClass != NodeClass::ReferenceType) return Status::BadReferenceTypeIdInvalid;
  }
  size_t matched = 0;
  bool more = false;
  space_.forEachReference(*node, [&](const ReferenceView& r) {
    if (!referenceMatches(space_, r, d.browseDirection, d.referenceTypeId, d.includeSubtypes))
      return true;
    if (d.nodeClassMask && !(d.nodeClassMask & static_cast<uint32_t>(r.target.nodeClass))) return true;
    if (matched++ < offset) return true;
    if (result.references.size() >= maxRefs) {
      more = true;
      return false;
    }
    result.references.push_back(describe(r, d.resultMask));
    return true;
  });
  if (!more) return Status::Good;
  if (state.continuationPoints.size() >= limits_.maxBrowseContinuationPoints) {
    result.references.clear();
    return Status::BadNoContinuationPoints;
  }
  const std::string key = std::to_string(state.nextContinuationPoint++);
  state.continuationPoints[key] = ContinuationPoint{d, maxRefs, offset + result.references.size()};
  result.continuationPoint = ByteString{key};
  return Status::Good;
}

void UaServices::browse(RequestContext& ctx, BrowseRequest& req, const Reply<BrowseResponse>& reply) {
  if (req.nodesToBrowse.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.nodesToBrowse.size() > limits_.maxNodesPerBrowse)
    return reply.fault(Status::BadTooManyOperations);
  if (!req.view.viewId.isNull()) return reply.fault(Status::BadViewIdUnknown);
  SessionState& state = sessionState(ctx);
  uint32_t maxRefs = req.requestedMaxReferencesPerNode;
  if (maxRefs == 0 || maxRefs > limits_.maxReferencesPerBrowse) maxRefs = limits_.maxReferencesPerBrowse;
  BrowseResponse resp;
  resp.results.resize(req.nodesToBrowse.size());
  for (size_t i = 0; i < req.nodesToBrowse.size(); ++i)
    resp.results[i].statusCode = browseOne(state, req.nodesToBrowse[i], maxRefs, 0, resp.results[i]);
  reply(std::move(resp));
}

void UaServices::browseNext(RequestContext& ctx, BrowseNextRequest& req,
                            const Reply<BrowseNextResponse>& reply) {
  if (req.continuationPoints.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.continuationPoints.size() > limits_.maxNodesPerBrowse)
    return reply.fault(Status::BadTooManyOperations);
  SessionState& state = sessionState(ctx);
  BrowseNextResponse resp;
  resp.results.resize(req.continuationPoints.size());
  for (size_t i = 0; i < req.continuationPoints.size(); ++i) {
    auto it = state.continuationPoints.find(req.continuationPoints[i].data);
    if (it == state.continuationPoints.end()) {
      resp.results[i].statusCode = Status::BadContinuationPointInvalid;
      continue;
    }
    const ContinuationPoint cp = it->second;
    state.continuationPoints.erase(it);
    if (req.releaseContinuationPoints) continue;
    resp.results[i].statusCode =
        browseOne(state, cp.description, cp.maxReferences, cp.offset, resp.results[i]);
  }
  reply(std::move(resp));
}

void UaServices::translate(RequestContext&, TranslateBrowsePathsToNodeIdsRequest& req,
                           const Reply<TranslateBrowsePathsToNodeIdsResponse>& reply) {
  if (req.browsePaths.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.browsePaths.size() > limits_.maxNodesPerTranslate)
    return reply.fault(Status::BadTooManyOperations);
  TranslateBrowsePathsToNodeIdsResponse resp;
  resp.results.resize(req.browsePaths.size());
  // Paths may wander back and forth through a folder with its thousands of tags; a
  // budget of references looked at keeps one request from holding the server for long.
  size_t budget = kTranslateBudget;
  for (size_t i = 0; i < req.browsePaths.size(); ++i) {
    const BrowsePath& path = req.browsePaths[i];
    BrowsePathResult& result = resp.results[i];
    if (!space_.find(path.startingNode)) {
      result.statusCode = Status::BadNodeIdUnknown;
      continue;
    }
    const auto& elements = path.relativePath.elements;
    if (elements.empty()) {
      result.statusCode = Status::BadNothingToDo;
      continue;
    }
    bool badName = false;
    for (const auto& e : elements) badName |= e.targetName.name.empty();
    if (badName) {
      result.statusCode = Status::BadBrowseNameInvalid;
      continue;
    }
    std::vector<NodeId> current{path.startingNode};
    for (const RelativePathElement& e : elements) {
      std::vector<NodeId> next;
      for (const NodeId& id : current) {
        const Node* n = space_.find(id);
        if (!n) continue;
        const size_t count = space_.referenceCount(*n);
        if (budget < count) {
          budget = 0;
          break;
        }
        budget -= count;
        space_.forEachReference(*n, [&](const ReferenceView& r) {
          if (referenceMatches(space_, r, e.isInverse ? BrowseDirection::Inverse : BrowseDirection::Forward,
                               e.referenceTypeId, e.includeSubtypes) &&
              r.target.hasBrowseName(e.targetName) &&
              std::find(next.begin(), next.end(), r.target.nodeId) == next.end())
            next.push_back(r.target.nodeId);
          return true;
        });
      }
      current = std::move(next);
      if (current.empty() || budget == 0) break;
    }
    if (budget == 0) {
      result.statusCode = Status::BadTooManyOperations;
      result.targets.clear();
      continue;
    }
    if (current.empty()) {
      result.statusCode = Status::BadNoMatch;
      continue;
    }
    for (const NodeId& id : current) result.targets.push_back({ExpandedNodeId(id), 0xFFFFFFFFu});
  }
  reply(std::move(resp));
}

void UaServices::registerNodes(RequestContext&, RegisterNodesRequest& req,
                               const Reply<RegisterNodesResponse>& reply) {
  if (req.nodesToRegister.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.nodesToRegister.size() > limits_.maxNodesPerRegisterNodes)
    return reply.fault(Status::BadTooManyOperations);
  // Lookups are already hashed; the registered id is the node's own.
  RegisterNodesResponse resp;
  resp.registeredNodeIds = std::move(req.nodesToRegister);
  reply(std::move(resp));
}

void UaServices::unregisterNodes(RequestContext&, UnregisterNodesRequest& req,
                                 const Reply<UnregisterNodesResponse>& reply) {
  if (req.nodesToUnregister.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.nodesToUnregister.size() > limits_.maxNodesPerRegisterNodes)
    return reply.fault(Status::BadTooManyOperations);
  reply(UnregisterNodesResponse{});
}

}  // namespace zentarc::ua
