#pragma once
// Browse, BrowseNext, TranslateBrowsePathsToNodeIds, RegisterNodes and UnregisterNodes.
#include "server/toolkit/ua/ServicesCommon.h"

namespace zentarc::ua {

enum class BrowseDirection : int32_t { Forward = 0, Inverse = 1, Both = 2, Invalid = 3 };

// Bits of BrowseDescription::resultMask.
namespace BrowseResultMask {
inline constexpr uint32_t ReferenceTypeId = 1, IsForward = 2, NodeClass = 4, BrowseName = 8,
                          DisplayName = 16, TypeDefinition = 32, All = 63;
}

struct ViewDescription {
  NodeId viewId;
  DateTime timestamp;
  uint32_t viewVersion = 0;
  ZUA_FIELDS(viewId, timestamp, viewVersion)
};

struct BrowseDescription {
  NodeId nodeId;
  BrowseDirection browseDirection = BrowseDirection::Forward;
  NodeId referenceTypeId;
  bool includeSubtypes = true;
  uint32_t nodeClassMask = 0;
  uint32_t resultMask = BrowseResultMask::All;
  ZUA_FIELDS(nodeId, browseDirection, referenceTypeId, includeSubtypes, nodeClassMask, resultMask)
};

struct ReferenceDescription {
  NodeId referenceTypeId;
  bool isForward = true;
  ExpandedNodeId nodeId;
  QualifiedName browseName;
  LocalizedText displayName;
  NodeClass nodeClass = NodeClass::Unspecified;
  ExpandedNodeId typeDefinition;
  ZUA_FIELDS(referenceTypeId, isForward, nodeId, browseName, displayName, nodeClass, typeDefinition)
};

struct BrowseResult {
  StatusCode statusCode;
  ByteString continuationPoint;
  std::vector<ReferenceDescription> references;
  ZUA_FIELDS(statusCode, continuationPoint, references)
};

struct BrowseRequest {
  static constexpr uint32_t kEncodingId = Id::BrowseRequest;
  RequestHeader requestHeader;
  ViewDescription view;
  uint32_t requestedMaxReferencesPerNode = 0;
  std::vector<BrowseDescription> nodesToBrowse;
  ZUA_FIELDS(requestHeader, view, requestedMaxReferencesPerNode, nodesToBrowse)
};

struct BrowseResponse {
  static constexpr uint32_t kEncodingId = Id::BrowseResponse;
  ResponseHeader responseHeader;
  std::vector<BrowseResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct BrowseNextRequest {
  static constexpr uint32_t kEncodingId = Id::BrowseNextRequest;
  RequestHeader requestHeader;
  bool releaseContinuationPoints = false;
  std::vector<ByteString> continuationPoints;
  ZUA_FIELDS(requestHeader, releaseContinuationPoints, continuationPoints)
};

struct BrowseNextResponse {
  static constexpr uint32_t kEncodingId = Id::BrowseNextResponse;
  ResponseHeader responseHeader;
  std::vector<BrowseResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct RelativePathElement {
  NodeId referenceTypeId;
  bool isInverse = false;
  bool includeSubtypes = true;
  QualifiedName targetName;
  ZUA_FIELDS(referenceTypeId, isInverse, includeSubtypes, targetName)
};

struct RelativePath {
  std::vector<RelativePathElement> elements;
  ZUA_FIELDS(elements)
};

struct BrowsePath {
  NodeId startingNode;
  RelativePath relativePath;
  ZUA_FIELDS(startingNode, relativePath)
};

struct BrowsePathTarget {
  ExpandedNodeId targetId;
  uint32_t remainingPathIndex = 0xFFFFFFFFu;
  ZUA_FIELDS(targetId, remainingPathIndex)
};

struct BrowsePathResult {
  StatusCode statusCode;
  std::vector<BrowsePathTarget> targets;
  ZUA_FIELDS(statusCode, targets)
};

struct TranslateBrowsePathsToNodeIdsRequest {
  static constexpr uint32_t kEncodingId = Id::TranslateBrowsePathsToNodeIdsRequest;
  RequestHeader requestHeader;
  std::vector<BrowsePath> browsePaths;
  ZUA_FIELDS(requestHeader, browsePaths)
};

struct TranslateBrowsePathsToNodeIdsResponse {
  static constexpr uint32_t kEncodingId = Id::TranslateBrowsePathsToNodeIdsResponse;
  ResponseHeader responseHeader;
  std::vector<BrowsePathResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct RegisterNodesRequest {
  static constexpr uint32_t kEncodingId = Id::RegisterNodesRequest;
  RequestHeader requestHeader;
  std::vector<NodeId> nodesToRegister;
  ZUA_FIELDS(requestHeader, nodesToRegister)
};

struct RegisterNodesResponse {
  static constexpr uint32_t kEncodingId = Id::RegisterNodesResponse;
  ResponseHeader responseHeader;
  std::vector<NodeId> registeredNodeIds;
  ZUA_FIELDS(responseHeader, registeredNodeIds)
};

struct UnregisterNodesRequest {
  static constexpr uint32_t kEncodingId = Id::UnregisterNodesRequest;
  RequestHeader requestHeader;
  std::vector<NodeId> nodesToUnregister;
  ZUA_FIELDS(requestHeader, nodesToUnregister)
};

struct UnregisterNodesResponse {
  static constexpr uint32_t kEncodingId = Id::UnregisterNodesResponse;
  ResponseHeader responseHeader;
  ZUA_FIELDS(responseHeader)
};

}  // namespace zentarc::ua
