#pragma once
// Monitored items: Create, Modify, SetMonitoringMode, SetTriggering, Delete, and the data
// change filter.
#include "server/toolkit/ua/ServicesAttribute.h"

namespace zentarc::ua {

enum class MonitoringMode : int32_t { Disabled = 0, Sampling = 1, Reporting = 2 };
enum class DataChangeTrigger : int32_t { Status = 0, StatusValue = 1, StatusValueTimestamp = 2 };
enum class DeadbandType : uint32_t { None = 0, Absolute = 1, Percent = 2 };

struct DataChangeFilter {
  static constexpr uint32_t kEncodingId = Id::DataChangeFilter;
  DataChangeTrigger trigger = DataChangeTrigger::StatusValue;
  uint32_t deadbandType = 0;
  double deadbandValue = 0;
  ZUA_FIELDS(trigger, deadbandType, deadbandValue)
};

struct MonitoringParameters {
  uint32_t clientHandle = 0;
  double samplingInterval = 0;  // ms; -1 asks for the publishing interval
  ExtensionObject filter;
  uint32_t queueSize = 1;
  bool discardOldest = true;
  ZUA_FIELDS(clientHandle, samplingInterval, filter, queueSize, discardOldest)
};

struct MonitoredItemCreateRequest {
  ReadValueId itemToMonitor;
  MonitoringMode monitoringMode = MonitoringMode::Reporting;
  MonitoringParameters requestedParameters;
  ZUA_FIELDS(itemToMonitor, monitoringMode, requestedParameters)
};

struct MonitoredItemCreateResult {
  StatusCode statusCode;
  uint32_t monitoredItemId = 0;
  double revisedSamplingInterval = 0;
  uint32_t revisedQueueSize = 0;
  ExtensionObject filterResult;
  ZUA_FIELDS(statusCode, monitoredItemId, revisedSamplingInterval, revisedQueueSize, filterResult)
};

struct CreateMonitoredItemsRequest {
  static constexpr uint32_t kEncodingId = Id::CreateMonitoredItemsRequest;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  TimestampsToReturn timestampsToReturn = TimestampsToReturn::Both;
  std::vector<MonitoredItemCreateRequest> itemsToCreate;
  ZUA_FIELDS(requestHeader, subscriptionId, timestampsToReturn, itemsToCreate)
};

struct CreateMonitoredItemsResponse {
  static constexpr uint32_t kEncodingId = Id::CreateMonitoredItemsResponse;
  ResponseHeader responseHeader;
  std::vector<MonitoredItemCreateResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct MonitoredItemModifyRequest {
  uint32_t monitoredItemId = 0;
  MonitoringParameters requestedParameters;
  ZUA_FIELDS(monitoredItemId, requestedParameters)
};

struct MonitoredItemModifyResult {
  StatusCode statusCode;
  double revisedSamplingInterval = 0;
  uint32_t revisedQueueSize = 0;
  ExtensionObject filterResult;
  ZUA_FIELDS(statusCode, revisedSamplingInterval, revisedQueueSize, filterResult)
};

struct ModifyMonitoredItemsRequest {
  static constexpr uint32_t kEncodingId = Id::ModifyMonitoredItemsRequest;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  TimestampsToReturn timestampsToReturn = TimestampsToReturn::Both;
  std::vector<MonitoredItemModifyRequest> itemsToModify;
  ZUA_FIELDS(requestHeader, subscriptionId, timestampsToReturn, itemsToModify)
};

struct ModifyMonitoredItemsResponse {
  static constexpr uint32_t kEncodingId = Id::ModifyMonitoredItemsResponse;
  ResponseHeader responseHeader;
  std::vector<MonitoredItemModifyResult> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct SetMonitoringModeRequest {
  static constexpr uint32_t kEncodingId = Id::SetMonitoringModeRequest;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  MonitoringMode monitoringMode = MonitoringMode::Reporting;
  std::vector<uint32_t> monitoredItemIds;
  ZUA_FIELDS(requestHeader, subscriptionId, monitoringMode, monitoredItemIds)
};

struct SetMonitoringModeResponse {
  static constexpr uint32_t kEncodingId = Id::SetMonitoringModeResponse;
  ResponseHeader responseHeader;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

struct SetTriggeringRequest {
  static constexpr uint32_t kEncodingId = Id::SetTriggeringRequest;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  uint32_t triggeringItemId = 0;
  std::vector<uint32_t> linksToAdd;
  std::vector<uint32_t> linksToRemove;
  ZUA_FIELDS(requestHeader, subscriptionId, triggeringItemId, linksToAdd, linksToRemove)
};

struct SetTriggeringResponse {
  static constexpr uint32_t kEncodingId = Id::SetTriggeringResponse;
  ResponseHeader responseHeader;
  std::vector<StatusCode> addResults;
  std::vector<DiagnosticInfo> addDiagnosticInfos;
  std::vector<StatusCode> removeResults;
  std::vector<DiagnosticInfo> removeDiagnosticInfos;
  ZUA_FIELDS(responseHeader, addResults, addDiagnosticInfos, removeResults, removeDiagnosticInfos)
};

struct DeleteMonitoredItemsRequest {
  static constexpr uint32_t kEncodingId = Id::DeleteMonitoredItemsRequest;
  RequestHeader requestHeader;
  uint32_t subscriptionId = 0;
  std::vector<uint32_t> monitoredItemIds;
  ZUA_FIELDS(requestHeader, subscriptionId, monitoredItemIds)
};

struct DeleteMonitoredItemsResponse {
  static constexpr uint32_t kEncodingId = Id::DeleteMonitoredItemsResponse;
  ResponseHeader responseHeader;
  std::vector<StatusCode> results;
  std::vector<DiagnosticInfo> diagnosticInfos;
  ZUA_FIELDS(responseHeader, results, diagnosticInfos)
};

}  // namespace zentarc::ua
