#pragma once
// CreateSession, ActivateSession, CloseSession, Cancel and the identity tokens.
#include "server/toolkit/ua/ServicesCommon.h"

namespace zentarc::ua {

struct CreateSessionRequest {
  static constexpr uint32_t kEncodingId = Id::CreateSessionRequest;
  RequestHeader requestHeader;
  ApplicationDescription clientDescription;
  String serverUri;
  String endpointUrl;
  String sessionName;
  ByteString clientNonce;
  ByteString clientCertificate;
  double requestedSessionTimeout = 0;  // ms
  uint32_t maxResponseMessageSize = 0;
  ZUA_FIELDS(requestHeader, clientDescription, serverUri, endpointUrl, sessionName, clientNonce,
             clientCertificate, requestedSessionTimeout, maxResponseMessageSize)
};

struct CreateSessionResponse {
  static constexpr uint32_t kEncodingId = Id::CreateSessionResponse;
  ResponseHeader responseHeader;
  NodeId sessionId;
  NodeId authenticationToken;
  double revisedSessionTimeout = 0;
  ByteString serverNonce;
  ByteString serverCertificate;
  std::vector<EndpointDescription> serverEndpoints;
  std::vector<SignedSoftwareCertificate> serverSoftwareCertificates;
  SignatureData serverSignature;
  uint32_t maxRequestMessageSize = 0;
  ZUA_FIELDS(responseHeader, sessionId, authenticationToken, revisedSessionTimeout, serverNonce,
             serverCertificate, serverEndpoints, serverSoftwareCertificates, serverSignature,
             maxRequestMessageSize)
};

struct ActivateSessionRequest {
  static constexpr uint32_t kEncodingId = Id::ActivateSessionRequest;
  RequestHeader requestHeader;
  SignatureData clientSignature;
  std::vector<SignedSoftwareCertificate> clientSoftwareCertificates;
  std::vector<String> localeIds;
  ExtensionObject userIdentityToken;
  SignatureData userTokenSignature;
  ZUA_FIELDS(requestHeader, clientSignature, clientSoftwareCertificates, localeIds,
             userIdentityToken, userTokenSignature)
};

struct ActivateSessionResponse {
  static constexpr uint32_t kEncodingId = Id::ActivateSessionResponse;
  ResponseHeader responseHeader;
  ByteString serverNonce;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, serverNonce, results, diagnosticInfos)
};

struct CloseSessionRequest {
  static constexpr uint32_t kEncodingId = Id::CloseSessionRequest;
  RequestHeader requestHeader;
  bool deleteSubscriptions = true;
  ZUA_FIELDS(requestHeader, deleteSubscriptions)
};

struct CloseSessionResponse {
  static constexpr uint32_t kEncodingId = Id::CloseSessionResponse;
  ResponseHeader responseHeader;
  ZUA_FIELDS(responseHeader)
};

struct CancelRequest {
  static constexpr uint32_t kEncodingId = Id::CancelRequest;
  RequestHeader requestHeader;
  uint32_t requestHandle = 0;
  ZUA_FIELDS(requestHeader, requestHandle)
};

struct CancelResponse {
  static constexpr uint32_t kEncodingId = Id::CancelResponse;
  ResponseHeader responseHeader;
  uint32_t cancelCount = 0;
  ZUA_FIELDS(responseHeader, cancelCount)
};

struct AnonymousIdentityToken {
  static constexpr uint32_t kEncodingId = Id::AnonymousIdentityToken;
  String policyId;
  ZUA_FIELDS(policyId)
};

struct UserNameIdentityToken {
  static constexpr uint32_t kEncodingId = Id::UserNameIdentityToken;
  String policyId;
  String userName;
  ByteString password;
  String encryptionAlgorithm;
  ZUA_FIELDS(policyId, userName, password, encryptionAlgorithm)
};

}  // namespace zentarc::ua
