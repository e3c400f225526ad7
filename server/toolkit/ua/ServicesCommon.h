#pragma once
// Structures shared by every service: request and response headers, ServiceFault, and the
// application and endpoint descriptions.
#include "server/toolkit/ua/Binary.h"
#include "server/toolkit/ua/NodeIds.h"

namespace zentarc::ua {

struct RequestHeader {
  NodeId authenticationToken;
  DateTime timestamp;
  uint32_t requestHandle = 0;
  uint32_t returnDiagnostics = 0;
  String auditEntryId;
  uint32_t timeoutHint = 0;
  ExtensionObject additionalHeader;
  ZUA_FIELDS(authenticationToken, timestamp, requestHandle, returnDiagnostics, auditEntryId,
             timeoutHint, additionalHeader)
};

struct ResponseHeader {
  DateTime timestamp;
  uint32_t requestHandle = 0;
  StatusCode serviceResult;
  DiagnosticInfo serviceDiagnostics;
  std::vector<String> stringTable;
  ExtensionObject additionalHeader;
  ZUA_FIELDS(timestamp, requestHandle, serviceResult, serviceDiagnostics, stringTable,
             additionalHeader)
};

struct ServiceFault {
  static constexpr uint32_t kEncodingId = Id::ServiceFault;
  ResponseHeader responseHeader;
  ZUA_FIELDS(responseHeader)
};

// A whole ServiceFault message body: encoding id, then the fault.
inline std::string encodeServiceFault(uint32_t requestHandle, StatusCode status) {
  ServiceFault f;
  f.responseHeader.timestamp = DateTime::now();
  f.responseHeader.requestHandle = requestHandle;
  f.responseHeader.serviceResult = status;
  std::string out;
  Encoder e(out);
  e.write(NodeId(0, ServiceFault::kEncodingId));
  e.write(f);
  return out;
}

enum class ApplicationType : int32_t { Server = 0, Client = 1, ClientAndServer = 2, DiscoveryServer = 3 };
enum class MessageSecurityMode : int32_t { Invalid = 0, None = 1, Sign = 2, SignAndEncrypt = 3 };
enum class UserTokenType : int32_t { Anonymous = 0, UserName = 1, Certificate = 2, IssuedToken = 3 };
enum class TimestampsToReturn : int32_t { Source = 0, Server = 1, Both = 2, Neither = 3, Invalid = 4 };

inline constexpr const char* kSecurityPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
inline constexpr const char* kTransportProfileBinary =
    "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary";

struct ApplicationDescription {
  String applicationUri;
  String productUri;
  LocalizedText applicationName;
  ApplicationType applicationType = ApplicationType::Server;
  String gatewayServerUri;
  String discoveryProfileUri;
  std::vector<String> discoveryUrls;
  ZUA_FIELDS(applicationUri, productUri, applicationName, applicationType, gatewayServerUri,
             discoveryProfileUri, discoveryUrls)
};

struct UserTokenPolicy {
  String policyId;
  UserTokenType tokenType = UserTokenType::Anonymous;
  String issuedTokenType;
  String issuerEndpointUrl;
  String securityPolicyUri;
  ZUA_FIELDS(policyId, tokenType, issuedTokenType, issuerEndpointUrl, securityPolicyUri)
};

struct EndpointDescription {
  String endpointUrl;
  ApplicationDescription server;
  ByteString serverCertificate;
  MessageSecurityMode securityMode = MessageSecurityMode::None;
  String securityPolicyUri;
  std::vector<UserTokenPolicy> userIdentityTokens;
  String transportProfileUri;
  uint8_t securityLevel = 0;
  ZUA_FIELDS(endpointUrl, server, serverCertificate, securityMode, securityPolicyUri,
             userIdentityTokens, transportProfileUri, securityLevel)
};

struct SignatureData {
  String algorithm;
  ByteString signature;
  ZUA_FIELDS(algorithm, signature)
};

struct SignedSoftwareCertificate {
  ByteString certificateData;
  ByteString signature;
  ZUA_FIELDS(certificateData, signature)
};

}  // namespace zentarc::ua
