#pragma once
// FindServers and GetEndpoints.
#include "server/toolkit/ua/ServicesCommon.h"

namespace zentarc::ua {

struct FindServersRequest {
  static constexpr uint32_t kEncodingId = Id::FindServersRequest;
  RequestHeader requestHeader;
  String endpointUrl;
  std::vector<String> localeIds;
  std::vector<String> serverUris;
  ZUA_FIELDS(requestHeader, endpointUrl, localeIds, serverUris)
};

struct FindServersResponse {
  static constexpr uint32_t kEncodingId = Id::FindServersResponse;
  ResponseHeader responseHeader;
  std::vector<ApplicationDescription> servers;
  ZUA_FIELDS(responseHeader, servers)
};

struct GetEndpointsRequest {
  static constexpr uint32_t kEncodingId = Id::GetEndpointsRequest;
  RequestHeader requestHeader;
  String endpointUrl;
  std::vector<String> localeIds;
  std::vector<String> profileUris;
  ZUA_FIELDS(requestHeader, endpointUrl, localeIds, profileUris)
};

struct GetEndpointsResponse {
  static constexpr uint32_t kEncodingId = Id::GetEndpointsResponse;
  ResponseHeader responseHeader;
  std::vector<EndpointDescription> endpoints;
  ZUA_FIELDS(responseHeader, endpoints)
};

// The services a channel without security may call when the server offers no endpoint
// without it: finding the others.
inline bool isDiscoveryRequest(uint32_t encodingId) {
  return encodingId == GetEndpointsRequest::kEncodingId || encodingId == FindServersRequest::kEncodingId;
}

}  // namespace zentarc::ua
