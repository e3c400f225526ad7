#pragma once
// Read and Write.
#include "server/toolkit/ua/ServicesCommon.h"

namespace zentarc::ua {

struct ReadValueId {
  NodeId nodeId;
  uint32_t attributeId = static_cast<uint32_t>(AttributeId::Value);
  String indexRange;
  QualifiedName dataEncoding;
  ZUA_FIELDS(nodeId, attributeId, indexRange, dataEncoding)
};

struct ReadRequest {
  static constexpr uint32_t kEncodingId = Id::ReadRequest;
  RequestHeader requestHeader;
  double maxAge = 0;  // ms; 0 asks for a fresh value from the device
  TimestampsToReturn timestampsToReturn = TimestampsToReturn::Both;
  std::vector<ReadValueId> nodesToRead;
  ZUA_FIELDS(requestHeader, maxAge, timestampsToReturn, nodesToRead)
};

struct ReadResponse {
  static constexpr uint32_t kEncodingId = Id::ReadResponse;
  ResponseHeader responseHeader;
  std::vector<DataValue> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct WriteValue {
  NodeId nodeId;
  uint32_t attributeId = static_cast<uint32_t>(AttributeId::Value);
  String indexRange;
  DataValue value;
  ZUA_FIELDS(nodeId, attributeId, indexRange, value)
};

struct WriteRequest {
  static constexpr uint32_t kEncodingId = Id::WriteRequest;
  RequestHeader requestHeader;
  std::vector<WriteValue> nodesToWrite;
  ZUA_FIELDS(requestHeader, nodesToWrite)
};

struct WriteResponse {
  static constexpr uint32_t kEncodingId = Id::WriteResponse;
  ResponseHeader responseHeader;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

}  // namespace zentarc::ua
