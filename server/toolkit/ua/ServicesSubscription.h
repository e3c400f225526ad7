#pragma once
// Subscriptions: Create, Modify, SetPublishingMode, Publish, Republish, Transfer, Delete, and
// the notifications that Publish carries.
#include "server/toolkit/ua/ServicesCommon.h"

namespace zentarc::ua {

struct CreateSubscriptionRequest {
  static constexpr uint32_t kEncodingId = Id::CreateSubscriptionRequest;
  RequestHeader requestHeader;
  double requestedPublishingInterval = 0;
  uint32_t requestedLifetimeCount = 0;
  uint32_t requestedMaxKeepAliveCount = 0;
  uint32_t maxNotificationsPerPublish = 0;
  bool publishingEnabled = true;
  uint8_t priority = 0;
  ZUA_FIELDS(requestHeader, requestedPublishingInterval, requestedLifetimeCount,
             requestedMaxKeepAliveCount, maxNotificationsPerPublish, publishingEnabled, priority)
};

struct CreateSubscriptionResponse {
  static constexpr uint32_t kEncodingId = Id::CreateSubscriptionResponse;
  ResponseHeader responseHeader;
  uint32_t subscriptionId = 0;
  double revisedPublishingInterval = 0;
  uint32_t revisedLifetimeCount = 0;
  uint32_t revisedMaxKeepAliveCount = 0;
  ZUA_FIELDS(responseHeader, subscriptionId, revisedPublishingInterval, revisedLifetimeCount,
             revisedMaxKeepAliveCount)
};

struct ModifySubscriptionRequest {
  static constexpr uint32_t kEncodingId = Id::ModifySubscriptionRequest;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  double requestedPublishingInterval = 0;
  uint32_t requestedLifetimeCount = 0;
  uint32_t requestedMaxKeepAliveCount = 0;
  uint32_t maxNotificationsPerPublish = 0;
  uint8_t priority = 0;
  ZUA_FIELDS(requestHeader, subscriptionId, requestedPublishingInterval, requestedLifetimeCount,
             requestedMaxKeepAliveCount, maxNotificationsPerPublish, priority)
};

struct ModifySubscriptionResponse {
  static constexpr uint32_t kEncodingId = Id::ModifySubscriptionResponse;
  ResponseHeader responseHeader;
  double revisedPublishingInterval = 0;
  uint32_t revisedLifetimeCount = 0;
  uint32_t revisedMaxKeepAliveCount = 0;
  ZUA_FIELDS(responseHeader, revisedPublishingInterval, revisedLifetimeCount,
             revisedMaxKeepAliveCount)
};

struct SetPublishingModeRequest {
  static constexpr uint32_t kEncodingId = Id::SetPublishingModeRequest;
  RequestHeader requestHeader;
  bool publishingEnabled = true;
  std::vector<uint32_t> subscriptionIds;
  ZUA_FIELDS(requestHeader, publishingEnabled, subscriptionIds)
};

struct SetPublishingModeResponse {
  static constexpr uint32_t kEncodingId = Id::SetPublishingModeResponse;
  ResponseHeader responseHeader;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct SubscriptionAcknowledgement {
  uint32_t subscriptionId = 0;
  uint32_t sequenceNumber = 0;
  ZUA_FIELDS(subscriptionId, sequenceNumber)
};

struct NotificationMessage {
  uint32_t sequenceNumber = 0;
  DateTime publishTime;
  std::vector<ExtensionObject> notificationData;  // DataChangeNotification, StatusChangeNotification
  ZUA_FIELDS(sequenceNumber, publishTime, notificationData)
};

struct MonitoredItemNotification {
  uint32_t clientHandle = 0;
  DataValue value;
  ZUA_FIELDS(clientHandle, value)
};

struct DataChangeNotification {
  static constexpr uint32_t kEncodingId = Id::DataChangeNotification;
  std::vector<MonitoredItemNotification> monitoredItems;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(monitoredItems, diagnosticInfos)
};

struct StatusChangeNotification {
  static constexpr uint32_t kEncodingId = Id::StatusChangeNotification;
  StatusCode status;
  DiagnosticInfo diagnosticInfo;
  ZUA_FIELDS(status, diagnosticInfo)
};

struct PublishRequest {
  static constexpr uint32_t kEncodingId = Id::PublishRequest;
  RequestHeader requestHeader;
  std::vector<SubscriptionAcknowledgement> subscriptionAcknowledgements;
  ZUA_FIELDS(requestHeader, subscriptionAcknowledgements)
};

struct PublishResponse {
  static constexpr uint32_t kEncodingId = Id::PublishResponse;
  ResponseHeader responseHeader;
  uint32_t subscriptionId = 0;
  std::vector<uint32_t> availableSequenceNumbers;
  bool moreNotifications = false;
  NotificationMessage notificationMessage;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, subscriptionId, availableSequenceNumbers, moreNotifications,
             notificationMessage, results, diagnosticInfos)
};

struct RepublishRequest {
  static constexpr uint32_t kEncodingId = Id::RepublishRequest;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  uint32_t retransmitSequenceNumber = 0;
  ZUA_FIELDS(requestHeader, subscriptionId, retransmitSequenceNumber)
};

struct RepublishResponse {
  static constexpr uint32_t kEncodingId = Id::RepublishResponse;
  ResponseHeader responseHeader;
  NotificationMessage notificationMessage;
  ZUA_FIELDS(responseHeader, notificationMessage)
};

struct TransferResult {
  StatusCode statusCode;
  std::vector<uint32_t> availableSequenceNumbers;
  ZUA_FIELDS(statusCode, availableSequenceNumbers)
};

struct TransferSubscriptionsRequest {
  static constexpr uint32_t kEncodingId = Id::TransferSubscriptionsRequest;
  RequestHeader requestHeader;
  std::vector<uint32_t> subscriptionIds;
  bool sendInitialValues = false;
  ZUA_FIELDS(requestHeader, subscriptionIds, sendInitialValues)
};

struct TransferSubscriptionsResponse {
  static constexpr uint32_t kEncodingId = Id::TransferSubscriptionsResponse;
  ResponseHeader responseHeader;
  std::vector<TransferResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct DeleteSubscriptionsRequest {
  static constexpr uint32_t kEncodingId = Id::DeleteSubscriptionsRequest;
  RequestHeader requestHeader;
  std::vector<uint32_t> subscriptionIds;
  ZUA_FIELDS(requestHeader, subscriptionIds)
};

struct DeleteSubscriptionsResponse {
  static constexpr uint32_t kEncodingId = Id::DeleteSubscriptionsResponse;
  ResponseHeader responseHeader;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

// The status part of ServerStatus, for the address space and the shutdown notice.
enum class ServerState : int32_t {
  Running = 0, Failed = 1, NoConfiguration = 2, Suspended = 3, Shutdown = 4, Test = 5,
  CommunicationFault = 6, Unknown = 7
};

struct BuildInfo {
  static constexpr uint32_t kEncodingId = Id::BuildInfo_Encoding;
  String productUri;
  String manufacturerName;
  String productName;
  String softwareVersion;
  String buildNumber;
  DateTime buildDate;
  ZUA_FIELDS(productUri, manufacturerName, productName, softwareVersion, buildNumber, buildDate)
};

struct ServerStatusDataType {
  static constexpr uint32_t kEncodingId = Id::ServerStatusDataType_Encoding;
  DateTime startTime;
  DateTime currentTime;
  ServerState state = ServerState::Running;
  BuildInfo buildInfo;
  uint32_t secondsTillShutdown = 0;
  LocalizedText shutdownReason;
  ZUA_FIELDS(startTime, currentTime, state, buildInfo, secondsTillShutdown, shutdownReason)
};

struct ServerDiagnosticsSummaryDataType {
  static constexpr uint32_t kEncodingId = Id::ServerDiagnosticsSummaryDataType_Encoding;
  uint32_t serverViewCount = 0;
  uint32_t currentSessionCount = 0;
  uint32_t cumulatedSessionCount = 0;
  uint32_t securityRejectedSessionCount = 0;
  uint32_t rejectedSessionCount = 0;
  uint32_t sessionTimeoutCount = 0;
  uint32_t sessionAbortCount = 0;
  uint32_t currentSubscriptionCount = 0;
  uint32_t cumulatedSubscriptionCount = 0;
  uint32_t publishingIntervalCount = 0;
  uint32_t securityRejectedRequestsCount = 0;
  uint32_t rejectedRequestsCount = 0;
  ZUA_FIELDS(serverViewCount, currentSessionCount, cumulatedSessionCount, securityRejectedSessionCount,
             rejectedSessionCount, sessionTimeoutCount, sessionAbortCount, currentSubscriptionCount,
             cumulatedSubscriptionCount, publishingIntervalCount, securityRejectedRequestsCount,
             rejectedRequestsCount)
};

}  // namespace zentarc::ua
