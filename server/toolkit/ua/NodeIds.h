#pragma once
// Numeric identifiers (namespace 0) of the standard nodes and binary encodings we use.
#include <cstdint>

namespace zentarc::ua::Id {

// Data types
inline constexpr uint32_t Boolean = 1, SByte = 2, Byte = 3, Int16 = 4, UInt16 = 5, Int32 = 6,
                          UInt32 = 7, Int64 = 8, UInt64 = 9, Float = 10, Double = 11, String = 12,
                          DateTime = 13, Guid = 14, ByteString = 15, XmlElement = 16, NodeId = 17,
                          ExpandedNodeId = 18, StatusCode = 19, QualifiedName = 20,
                          LocalizedText = 21, Structure = 22, DataValue = 23, BaseDataType = 24,
                          DiagnosticInfo = 25, Number = 26, Integer = 27, UInteger = 28,
                          Enumeration = 29;
inline constexpr uint32_t IntegerId = 288, Counter = 289, Duration = 290, NumericRange = 291,
                          UtcTime = 294, LocaleId = 295, NodeClass = 257, BuildInfo = 338,
                          ServerState = 852, ServerStatusDataType = 862,
                          ApplicationDescription = 308, ApplicationType = 307,
                          EndpointDescription = 312, MessageSecurityMode = 302,
                          UserTokenPolicy = 304, UserTokenType = 303, EnumValueType = 7594;

// Reference types
inline constexpr uint32_t References = 31, NonHierarchicalReferences = 32,
                          HierarchicalReferences = 33, HasChild = 34, Organizes = 35,
                          HasEventSource = 36, HasModellingRule = 37, HasEncoding = 38,
                          HasDescription = 39, HasTypeDefinition = 40, GeneratesEvent = 41,
                          Aggregates = 44, HasSubtype = 45, HasProperty = 46, HasComponent = 47,
                          HasNotifier = 48, HasOrderedComponent = 49;

// Object, variable types and modelling rules
inline constexpr uint32_t BaseObjectType = 58, FolderType = 61, BaseVariableType = 62,
                          BaseDataVariableType = 63, PropertyType = 68, ModellingRule_Mandatory = 78,
                          ServerType = 2004, ServerCapabilitiesType = 2013,
                          ServerDiagnosticsType = 2020, VendorServerInfoType = 2033,
                          ServerRedundancyType = 2034, BaseEventType = 2041,
                          ServerStatusType = 2138, BuildInfoType = 3051,
                          OperationLimitsType = 11564;

// Standard objects and variables
inline constexpr uint32_t RootFolder = 84, ObjectsFolder = 85, TypesFolder = 86, ViewsFolder = 87,
                          ObjectTypesFolder = 88, VariableTypesFolder = 89, DataTypesFolder = 90,
                          ReferenceTypesFolder = 91;
inline constexpr uint32_t Server = 2253, Server_ServerArray = 2254, Server_NamespaceArray = 2255,
                          Server_ServerStatus = 2256, Server_ServerStatus_StartTime = 2257,
                          Server_ServerStatus_CurrentTime = 2258, Server_ServerStatus_State = 2259,
                          Server_ServerStatus_BuildInfo = 2260,
                          Server_ServerStatus_BuildInfo_ProductName = 2261,
                          Server_ServerStatus_BuildInfo_ProductUri = 2262,
                          Server_ServerStatus_BuildInfo_ManufacturerName = 2263,
                          Server_ServerStatus_BuildInfo_SoftwareVersion = 2264,
                          Server_ServerStatus_BuildInfo_BuildNumber = 2265,
                          Server_ServerStatus_BuildInfo_BuildDate = 2266,
                          Server_ServerStatus_SecondsTillShutdown = 2992,
                          Server_ServerStatus_ShutdownReason = 2993, Server_ServiceLevel = 2267,
                          Server_Auditing = 2994, Server_ServerCapabilities = 2268,
                          Server_ServerCapabilities_ServerProfileArray = 2269,
                          Server_ServerCapabilities_LocaleIdArray = 2271,
                          Server_ServerCapabilities_MinSupportedSampleRate = 2272,
                          Server_ServerCapabilities_MaxBrowseContinuationPoints = 2735,
                          Server_ServerCapabilities_MaxQueryContinuationPoints = 2736,
                          Server_ServerCapabilities_MaxHistoryContinuationPoints = 2737,
                          Server_ServerCapabilities_MaxArrayLength = 11702,
                          Server_ServerCapabilities_MaxStringLength = 11703,
                          Server_ServerCapabilities_OperationLimits = 11704,
                          OperationLimits_MaxNodesPerRead = 11705,
                          OperationLimits_MaxNodesPerWrite = 11707,
                          OperationLimits_MaxNodesPerMethodCall = 11709,
                          OperationLimits_MaxNodesPerBrowse = 11710,
                          OperationLimits_MaxNodesPerRegisterNodes = 11711,
                          OperationLimits_MaxNodesPerTranslateBrowsePathsToNodeIds = 11712,
                          OperationLimits_MaxNodesPerNodeManagement = 11713,
                          OperationLimits_MaxMonitoredItemsPerCall = 11714,
                          Server_ServerDiagnostics = 2274, Server_VendorServerInfo = 2295,
                          Server_ServerRedundancy = 2296;

// Binary encodings (DefaultBinary) of the structures carried in messages
inline constexpr uint32_t ServiceFault = 397;
inline constexpr uint32_t FindServersRequest = 422, FindServersResponse = 425;
inline constexpr uint32_t GetEndpointsRequest = 428, GetEndpointsResponse = 431;
inline constexpr uint32_t OpenSecureChannelRequest = 446, OpenSecureChannelResponse = 449;
inline constexpr uint32_t CloseSecureChannelRequest = 452, CloseSecureChannelResponse = 455;
inline constexpr uint32_t CreateSessionRequest = 461, CreateSessionResponse = 464;
inline constexpr uint32_t ActivateSessionRequest = 467, ActivateSessionResponse = 470;
inline constexpr uint32_t CloseSessionRequest = 473, CloseSessionResponse = 476;
inline constexpr uint32_t CancelRequest = 479, CancelResponse = 482;
inline constexpr uint32_t AnonymousIdentityToken = 321, UserNameIdentityToken = 324,
                          X509IdentityToken = 327, IssuedIdentityToken = 940;
inline constexpr uint32_t BrowseRequest = 527, BrowseResponse = 530;
inline constexpr uint32_t BrowseNextRequest = 533, BrowseNextResponse = 536;
inline constexpr uint32_t TranslateBrowsePathsToNodeIdsRequest = 554,
                          TranslateBrowsePathsToNodeIdsResponse = 557;
inline constexpr uint32_t RegisterNodesRequest = 560, RegisterNodesResponse = 563;
inline constexpr uint32_t UnregisterNodesRequest = 566, UnregisterNodesResponse = 569;
inline constexpr uint32_t ReadRequest = 631, ReadResponse = 634;
inline constexpr uint32_t HistoryReadRequest = 664, HistoryReadResponse = 667;
inline constexpr uint32_t WriteRequest = 673, WriteResponse = 676;
inline constexpr uint32_t CallRequest = 712, CallResponse = 715;
inline constexpr uint32_t DataChangeFilter = 724, EventFilter = 727, AggregateFilter = 730;
inline constexpr uint32_t CreateMonitoredItemsRequest = 751, CreateMonitoredItemsResponse = 754;
inline constexpr uint32_t ModifyMonitoredItemsRequest = 763, ModifyMonitoredItemsResponse = 766;
inline constexpr uint32_t SetMonitoringModeRequest = 769, SetMonitoringModeResponse = 772;
inline constexpr uint32_t SetTriggeringRequest = 775, SetTriggeringResponse = 778;
inline constexpr uint32_t DeleteMonitoredItemsRequest = 781, DeleteMonitoredItemsResponse = 784;
inline constexpr uint32_t CreateSubscriptionRequest = 787, CreateSubscriptionResponse = 790;
inline constexpr uint32_t ModifySubscriptionRequest = 793, ModifySubscriptionResponse = 796;
inline constexpr uint32_t SetPublishingModeRequest = 799, SetPublishingModeResponse = 802;
inline constexpr uint32_t DataChangeNotification = 811, StatusChangeNotification = 820,
                          EventNotificationList = 916;
inline constexpr uint32_t PublishRequest = 826, PublishResponse = 829;
inline constexpr uint32_t RepublishRequest = 832, RepublishResponse = 835;
inline constexpr uint32_t TransferSubscriptionsRequest = 841, TransferSubscriptionsResponse = 844;
inline constexpr uint32_t DeleteSubscriptionsRequest = 847, DeleteSubscriptionsResponse = 850;
inline constexpr uint32_t BuildInfo_Encoding = 340, ServerStatusDataType_Encoding = 864,
                          ServerDiagnosticsSummaryDataType_Encoding = 861;

}  // namespace zentarc::ua::Id
