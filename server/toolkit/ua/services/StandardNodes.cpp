#include "server/toolkit/ua/services/StandardNodes.h"

#include "server/toolkit/ua/Binary.h"
#include "server/toolkit/ua/NodeIds.h"
#include "server/toolkit/ua/services/StandardIds.h"

namespace zentarc::ua {

ServerStatusSource::ServerStatusSource(BuildInfo buildInfo, DateTime startTime) {
  status_.startTime = startTime;
  status_.buildInfo = std::move(buildInfo);
  status_.state = ServerState::Running;
}

ServerStatusDataType ServerStatusSource::get() const {
  std::lock_guard lock(mutex_);
  ServerStatusDataType s = status_;
  s.currentTime = DateTime::now();
  return s;
}

ServerState ServerStatusSource::state() const {
  std::lock_guard lock(mutex_);
  return status_.state;
}

void ServerStatusSource::setShutdown(const std::string& reason, uint32_t secondsTillShutdown) {
  std::lock_guard lock(mutex_);
  status_.state = ServerState::Shutdown;
  status_.secondsTillShutdown = secondsTillShutdown;
  status_.shutdownReason = LocalizedText("", reason);
}

namespace {

NodeId ns0(uint32_t id) { return NodeId(0, id); }

class Builder {
 public:
  explicit Builder(AddressSpace& space) : space_(space) {}

  void object(uint32_t id, const char* name, uint32_t typeDef, uint32_t parent = 0,
              uint32_t refType = Id::HasComponent) {
    Node n;
    n.nodeId = ns0(id);
    n.nodeClass = NodeClass::Object;
    n.edit().browseName = QualifiedName{0, name};
    n.edit().displayName = LocalizedText(name);
    space_.add(std::move(n));
    space_.addReference(ns0(id), ns0(Id::HasTypeDefinition), ns0(typeDef));
    if (parent) space_.addReference(ns0(parent), ns0(refType), ns0(id));
  }

  Node& variable(uint32_t id, const char* name, uint32_t dataType, Variant value,
                 uint32_t parent, uint32_t refType = Id::HasProperty, int32_t valueRank = -1,
                 uint32_t typeDef = 0) {
    Node n;
    n.nodeId = ns0(id);
    n.nodeClass = NodeClass::Variable;
    n.edit().browseName = QualifiedName{0, name};
    n.edit().displayName = LocalizedText(name);
    n.dataType = ns0(dataType);
    n.valueRank = valueRank;
    n.edit().value = std::move(value);
    space_.add(std::move(n));
    if (!typeDef) typeDef = refType == Id::HasProperty ? Id::PropertyType : Id::BaseDataVariableType;
    space_.addReference(ns0(id), ns0(Id::HasTypeDefinition), ns0(typeDef));
    space_.addReference(ns0(parent), ns0(refType), ns0(id));
    return *space_.findMutable(ns0(id));
  }

  void type(NodeClass cls, uint32_t id, const char* name, uint32_t supertype, bool isAbstract) {
    Node n;
    n.nodeId = ns0(id);
    n.nodeClass = cls;
    n.edit().browseName = QualifiedName{0, name};
    n.edit().displayName = LocalizedText(name);
    n.isAbstract = isAbstract;
    if (cls == NodeClass::VariableType) {
      n.dataType = ns0(Id::BaseDataType);
      n.valueRank = -2;
    }
    space_.add(std::move(n));
    if (supertype) space_.addReference(ns0(supertype), ns0(Id::HasSubtype), ns0(id));
  }

  void referenceType(uint32_t id, const char* name, uint32_t supertype, bool isAbstract,
                     bool symmetric, const char* inverseName) {
    Node n;
    n.nodeId = ns0(id);
    n.nodeClass = NodeClass::ReferenceType;
    n.edit().browseName = QualifiedName{0, name};
    n.edit().displayName = LocalizedText(name);
    n.isAbstract = isAbstract;
    n.symmetric = symmetric;
    if (inverseName) n.edit().inverseName = LocalizedText(inverseName);
    space_.add(std::move(n));
    if (supertype) space_.addReference(ns0(supertype), ns0(Id::HasSubtype), ns0(id));
  }

 private:
  AddressSpace& space_;
};

void addFolders(Builder& b) {
  b.type(NodeClass::ObjectType, Id::BaseObjectType, "BaseObjectType", 0, false);
  b.type(NodeClass::ObjectType, Id::FolderType, "FolderType", Id::BaseObjectType, false);
  b.object(Id::RootFolder, "Root", Id::FolderType);
  b.object(Id::ObjectsFolder, "Objects", Id::FolderType, Id::RootFolder, Id::Organizes);
  b.object(Id::TypesFolder, "Types", Id::FolderType, Id::RootFolder, Id::Organizes);
  b.object(Id::ViewsFolder, "Views", Id::FolderType, Id::RootFolder, Id::Organizes);
  b.object(Id::ObjectTypesFolder, "ObjectTypes", Id::FolderType, Id::TypesFolder, Id::Organizes);
  b.object(Id::VariableTypesFolder, "VariableTypes", Id::FolderType, Id::TypesFolder, Id::Organizes);
  b.object(Id::DataTypesFolder, "DataTypes", Id::FolderType, Id::TypesFolder, Id::Organizes);
  b.object(Id::ReferenceTypesFolder, "ReferenceTypes", Id::FolderType, Id::TypesFolder,
           Id::Organizes);
}

void addReferenceTypes(Builder& b) {
  b.referenceType(Id::References, "References", 0, true, true, nullptr);
  b.referenceType(Id::HierarchicalReferences, "HierarchicalReferences", Id::References, true,
                  false, "InverseHierarchicalReferences");
  b.referenceType(Id::NonHierarchicalReferences, "NonHierarchicalReferences", Id::References,
                  true, false, "InverseNonHierarchicalReferences");
  b.referenceType(Id::HasChild, "HasChild", Id::HierarchicalReferences, true, false, "ChildOf");
  b.referenceType(Id::Organizes, "Organizes", Id::HierarchicalReferences, false, false,
                  "OrganizedBy");
  b.referenceType(Id::HasEventSource, "HasEventSource", Id::HierarchicalReferences, false, false,
                  "EventSourceOf");
  b.referenceType(Id::HasNotifier, "HasNotifier", Id::HasEventSource, false, false, "NotifierOf");
  b.referenceType(Id::Aggregates, "Aggregates", Id::HasChild, true, false, "AggregatedBy");
  b.referenceType(Id::HasSubtype, "HasSubtype", Id::HasChild, false, false, "HasSupertype");
  b.referenceType(Id::HasProperty, "HasProperty", Id::Aggregates, false, false, "PropertyOf");
  b.referenceType(Id::HasComponent, "HasComponent", Id::Aggregates, false, false, "ComponentOf");
  b.referenceType(Id::HasOrderedComponent, "HasOrderedComponent", Id::HasComponent, false, false,
                  "OrderedComponentOf");
  b.referenceType(Id::HasModellingRule, "HasModellingRule", Id::NonHierarchicalReferences, false,
                  false, "ModellingRuleOf");
  b.referenceType(Id::HasEncoding, "HasEncoding", Id::NonHierarchicalReferences, false, false,
                  "EncodingOf");
  b.referenceType(Id::HasDescription, "HasDescription", Id::NonHierarchicalReferences, false,
                  false, "DescriptionOf");
  b.referenceType(Id::HasTypeDefinition, "HasTypeDefinition", Id::NonHierarchicalReferences,
                  false, false, "TypeDefinitionOf");
  b.referenceType(Id::GeneratesEvent, "GeneratesEvent", Id::NonHierarchicalReferences, false,
                  false, "GeneratedBy");
}

void addDataTypes(AddressSpace& space, Builder& b) {
  auto dt = [&](uint32_t id, const char* name, uint32_t super, bool isAbstract = false) {
    b.type(NodeClass::DataType, id, name, super, isAbstract);
  };
  dt(Id::BaseDataType, "BaseDataType", 0, true);
  dt(Id::Boolean, "Boolean", Id::BaseDataType);
  dt(Id::Number, "Number", Id::BaseDataType, true);
  dt(Id::Integer, "Integer", Id::Number, true);
  dt(Id::UInteger, "UInteger", Id::Number, true);
  dt(Id::SByte, "SByte", Id::Integer);
  dt(Id::Int16, "Int16", Id::Integer);
  dt(Id::Int32, "Int32", Id::Integer);
  dt(Id::Int64, "Int64", Id::Integer);
  dt(Id::Byte, "Byte", Id::UInteger);
  dt(Id::UInt16, "UInt16", Id::UInteger);
  dt(Id::UInt32, "UInt32", Id::UInteger);
  dt(Id::UInt64, "UInt64", Id::UInteger);
  dt(Id::Float, "Float", Id::Number);
  dt(Id::Double, "Double", Id::Number);
  dt(Id::Duration, "Duration", Id::Double);
  dt(Id::String, "String", Id::BaseDataType);
  dt(Id::LocaleId, "LocaleId", Id::String);
  dt(Id::DateTime, "DateTime", Id::BaseDataType);
  dt(Id::UtcTime, "UtcTime", Id::DateTime);
  dt(Id::Guid, "Guid", Id::BaseDataType);
  dt(Id::ByteString, "ByteString", Id::BaseDataType);
  dt(Id::XmlElement, "XmlElement", Id::BaseDataType);
  dt(Id::NodeId, "NodeId", Id::BaseDataType);
  dt(Id::ExpandedNodeId, "ExpandedNodeId", Id::BaseDataType);
  dt(Id::StatusCode, "StatusCode", Id::BaseDataType);
  dt(Id::QualifiedName, "QualifiedName", Id::BaseDataType);
  dt(Id::LocalizedText, "LocalizedText", Id::BaseDataType);
  dt(Id::Structure, "Structure", Id::BaseDataType, true);
  dt(Id::BuildInfo, "BuildInfo", Id::Structure);
  dt(Id::ServerStatusDataType, "ServerStatusDataType", Id::Structure);
  dt(StdId::ServerDiagnosticsSummaryDataType, "ServerDiagnosticsSummaryDataType", Id::Structure);
  dt(Id::DataValue, "DataValue", Id::BaseDataType);
  dt(Id::DiagnosticInfo, "DiagnosticInfo", Id::BaseDataType);
  dt(Id::Enumeration, "Enumeration", Id::BaseDataType, true);
  dt(Id::ServerState, "ServerState", Id::Enumeration);
  dt(StdId::RedundancySupport, "RedundancySupport", Id::Enumeration);
  space.addReference(ns0(Id::DataTypesFolder), ns0(Id::Organizes), ns0(Id::BaseDataType));
}

void addObjectAndVariableTypes(AddressSpace& space, Builder& b) {
  b.type(NodeClass::ObjectType, Id::ServerType, "ServerType", Id::BaseObjectType, false);
  b.type(NodeClass::ObjectType, Id::ServerCapabilitiesType, "ServerCapabilitiesType",
         Id::BaseObjectType, false);
  b.type(NodeClass::ObjectType, Id::ServerDiagnosticsType, "ServerDiagnosticsType",
         Id::BaseObjectType, false);
  b.type(NodeClass::ObjectType, Id::VendorServerInfoType, "VendorServerInfoType",
         Id::BaseObjectType, false);
  b.type(NodeClass::ObjectType, Id::ServerRedundancyType, "ServerRedundancyType",
         Id::BaseObjectType, false);
  b.type(NodeClass::ObjectType, Id::OperationLimitsType, "OperationLimitsType", Id::FolderType,
         false);
  b.type(NodeClass::ObjectType, Id::BaseEventType, "BaseEventType", Id::BaseObjectType, true);
  b.type(NodeClass::ObjectType, 77, "ModellingRuleType", Id::BaseObjectType, false);
  space.addReference(ns0(Id::ObjectTypesFolder), ns0(Id::Organizes), ns0(Id::BaseObjectType));

  b.type(NodeClass::VariableType, Id::BaseVariableType, "BaseVariableType", 0, true);
  b.type(NodeClass::VariableType, Id::BaseDataVariableType, "BaseDataVariableType",
         Id::BaseVariableType, false);
  b.type(NodeClass::VariableType, Id::PropertyType, "PropertyType", Id::BaseVariableType, false);
  b.type(NodeClass::VariableType, Id::ServerStatusType, "ServerStatusType",
         Id::BaseDataVariableType, false);
  b.type(NodeClass::VariableType, Id::BuildInfoType, "BuildInfoType", Id::BaseDataVariableType,
         false);
  b.type(NodeClass::VariableType, StdId::ServerDiagnosticsSummaryType, "ServerDiagnosticsSummaryType",
         Id::BaseDataVariableType, false);
  space.addReference(ns0(Id::VariableTypesFolder), ns0(Id::Organizes), ns0(Id::BaseVariableType));
}

Variant uint32Value(uint32_t v) { return Variant::of(v); }

void addServerObject(AddressSpace& space, Builder& b, const ServerIdentity& identity,
                     const ServiceLimits& limits, const std::shared_ptr<ServerStatusSource>& status) {
  b.object(Id::Server, "Server", Id::ServerType, Id::ObjectsFolder, Id::Organizes);
  space.findMutable(ns0(Id::Server))->eventNotifier = 1;  // SubscribeToEvents
  b.variable(Id::Server_ServerArray, "ServerArray", Id::String,
             Variant::arrayOf(std::vector<String>{identity.applicationUri}), Id::Server,
             Id::HasProperty, 1);
  b.variable(Id::Server_NamespaceArray, "NamespaceArray", Id::String,
             Variant::arrayOf(std::vector<String>{"http://opcfoundation.org/UA/",
                                                  identity.namespaceUri}),
             Id::Server, Id::HasProperty, 1);
  b.variable(Id::Server_ServiceLevel, "ServiceLevel", Id::Byte, Variant::of(uint8_t{255}),
             Id::Server);
  b.variable(Id::Server_Auditing, "Auditing", Id::Boolean, Variant::of(false), Id::Server);

  // ServerStatus and its children read the status source on every read.
  Node& st = b.variable(Id::Server_ServerStatus, "ServerStatus", Id::ServerStatusDataType,
                        Variant(), Id::Server, Id::HasComponent, -1, Id::ServerStatusType);
  st.edit().valueSource = [status] { return Variant::of(toExtensionObject(status->get())); };
  auto child = [&](uint32_t id, const char* name, uint32_t dataType,
                   std::function<Variant(const ServerStatusDataType&)> f, uint32_t parent,
                   uint32_t typeDef = 0) {
    Node& n = b.variable(id, name, dataType, Variant(), parent, Id::HasComponent, -1, typeDef);
    n.edit().valueSource = [status, f = std::move(f)] { return f(status->get()); };
  };
  const uint32_t S = Id::Server_ServerStatus;
  child(Id::Server_ServerStatus_StartTime, "StartTime", Id::UtcTime,
        [](const ServerStatusDataType& s) { return Variant::of(s.startTime); }, S);
  child(Id::Server_ServerStatus_CurrentTime, "CurrentTime", Id::UtcTime,
        [](const ServerStatusDataType& s) { return Variant::of(s.currentTime); }, S);
  child(Id::Server_ServerStatus_State, "State", Id::ServerState,
        [](const ServerStatusDataType& s) { return Variant::of(static_cast<int32_t>(s.state)); }, S);
  child(Id::Server_ServerStatus_BuildInfo, "BuildInfo", Id::BuildInfo,
        [](const ServerStatusDataType& s) { return Variant::of(toExtensionObject(s.buildInfo)); },
        S, Id::BuildInfoType);
  child(Id::Server_ServerStatus_SecondsTillShutdown, "SecondsTillShutdown", Id::UInt32,
        [](const ServerStatusDataType& s) { return Variant::of(s.secondsTillShutdown); }, S);
  child(Id::Server_ServerStatus_ShutdownReason, "ShutdownReason", Id::LocalizedText,
        [](const ServerStatusDataType& s) { return Variant::of(s.shutdownReason); }, S);
  const BuildInfo& bi = identity.buildInfo;
  const uint32_t B = Id::Server_ServerStatus_BuildInfo;
  b.variable(Id::Server_ServerStatus_BuildInfo_ProductUri, "ProductUri", Id::String,
             Variant::of(bi.productUri), B, Id::HasComponent);
  b.variable(Id::Server_ServerStatus_BuildInfo_ManufacturerName, "ManufacturerName", Id::String,
             Variant::of(bi.manufacturerName), B, Id::HasComponent);
  b.variable(Id::Server_ServerStatus_BuildInfo_ProductName, "ProductName", Id::String,
             Variant::of(bi.productName), B, Id::HasComponent);
  b.variable(Id::Server_ServerStatus_BuildInfo_SoftwareVersion, "SoftwareVersion", Id::String,
             Variant::of(bi.softwareVersion), B, Id::HasComponent);
  b.variable(Id::Server_ServerStatus_BuildInfo_BuildNumber, "BuildNumber", Id::String,
             Variant::of(bi.buildNumber), B, Id::HasComponent);
  b.variable(Id::Server_ServerStatus_BuildInfo_BuildDate, "BuildDate", Id::UtcTime,
             Variant::of(bi.buildDate), B, Id::HasComponent);

  const uint32_t C = Id::Server_ServerCapabilities;
  b.object(C, "ServerCapabilities", Id::ServerCapabilitiesType, Id::Server);
  b.variable(Id::Server_ServerCapabilities_ServerProfileArray, "ServerProfileArray", Id::String,
             Variant::arrayOf(std::vector<String>{
                 "http://opcfoundation.org/UA-Profile/Server/MicroEmbeddedDevice"}),
             C, Id::HasProperty, 1);
  b.variable(Id::Server_ServerCapabilities_LocaleIdArray, "LocaleIdArray", Id::LocaleId,
             Variant::arrayOf(std::vector<String>{"en"}), C, Id::HasProperty, 1);
  b.variable(Id::Server_ServerCapabilities_MinSupportedSampleRate, "MinSupportedSampleRate",
             Id::Duration, Variant::of(limits.minSamplingIntervalMs), C);
  b.variable(Id::Server_ServerCapabilities_MaxBrowseContinuationPoints,
             "MaxBrowseContinuationPoints", Id::UInt16,
             Variant::of(limits.maxBrowseContinuationPoints), C);
  b.variable(Id::Server_ServerCapabilities_MaxQueryContinuationPoints,
             "MaxQueryContinuationPoints", Id::UInt16, Variant::of(uint16_t{0}), C);
  b.variable(Id::Server_ServerCapabilities_MaxHistoryContinuationPoints,
             "MaxHistoryContinuationPoints", Id::UInt16, Variant::of(uint16_t{0}), C);
  b.variable(Id::Server_ServerCapabilities_MaxArrayLength, "MaxArrayLength", Id::UInt32,
             uint32Value(limits.maxArrayLength), C);
  b.variable(Id::Server_ServerCapabilities_MaxStringLength, "MaxStringLength", Id::UInt32,
             uint32Value(limits.maxStringLength), C);
  b.object(StdId::Server_ServerCapabilities_ModellingRules, "ModellingRules", Id::FolderType, C);
  b.object(StdId::Server_ServerCapabilities_AggregateFunctions, "AggregateFunctions",
           Id::FolderType, C);
  b.object(Id::Server_ServerCapabilities_OperationLimits, "OperationLimits", Id::OperationLimitsType, C);
  const uint32_t L = Id::Server_ServerCapabilities_OperationLimits;
  b.variable(Id::OperationLimits_MaxNodesPerRead, "MaxNodesPerRead", Id::UInt32,
             uint32Value(limits.maxNodesPerRead), L);
  b.variable(Id::OperationLimits_MaxNodesPerWrite, "MaxNodesPerWrite", Id::UInt32,
             uint32Value(limits.maxNodesPerWrite), L);
  b.variable(Id::OperationLimits_MaxNodesPerMethodCall, "MaxNodesPerMethodCall", Id::UInt32, uint32Value(0), L);
  b.variable(Id::OperationLimits_MaxNodesPerBrowse, "MaxNodesPerBrowse", Id::UInt32,
             uint32Value(limits.maxNodesPerBrowse), L);
  b.variable(Id::OperationLimits_MaxNodesPerRegisterNodes, "MaxNodesPerRegisterNodes", Id::UInt32,
             uint32Value(limits.maxNodesPerRegisterNodes), L);
  b.variable(Id::OperationLimits_MaxNodesPerTranslateBrowsePathsToNodeIds,
             "MaxNodesPerTranslateBrowsePathsToNodeIds", Id::UInt32,
             uint32Value(limits.maxNodesPerTranslate), L);
  b.variable(Id::OperationLimits_MaxNodesPerNodeManagement, "MaxNodesPerNodeManagement", Id::UInt32,
             uint32Value(0), L);
  b.variable(Id::OperationLimits_MaxMonitoredItemsPerCall, "MaxMonitoredItemsPerCall", Id::UInt32,
             uint32Value(limits.maxMonitoredItemsPerCall), L);

  b.object(Id::Server_VendorServerInfo, "VendorServerInfo", Id::VendorServerInfoType, Id::Server);
  b.object(Id::Server_ServerRedundancy, "ServerRedundancy", Id::ServerRedundancyType, Id::Server);
  b.variable(StdId::Server_ServerRedundancy_RedundancySupport, "RedundancySupport",
             StdId::RedundancySupport, Variant::of(int32_t{0}), Id::Server_ServerRedundancy);
}

// ServerDiagnostics: EnabledFlag and the summary of sessions, subscriptions and refusals that
// monitoring tools read, each figure read afresh.
void addServerDiagnostics(Builder& b, std::function<ServerDiagnosticsSummaryDataType()> summary) {
  const uint32_t D = Id::Server_ServerDiagnostics;
  b.object(D, "ServerDiagnostics", Id::ServerDiagnosticsType, Id::Server);
  b.variable(StdId::Server_ServerDiagnostics_EnabledFlag, "EnabledFlag", Id::Boolean, Variant::of(bool(summary)), D);
  if (!summary) return;
  using Field = uint32_t ServerDiagnosticsSummaryDataType::*;
  struct Figure {
    uint32_t id;
    const char* name;
    Field field;
  };
  using S = ServerDiagnosticsSummaryDataType;
  static constexpr Figure kFigures[] = {
      {2276, "ServerViewCount", &S::serverViewCount},
      {2277, "CurrentSessionCount", &S::currentSessionCount},
      {2278, "CumulatedSessionCount", &S::cumulatedSessionCount},
      {2279, "SecurityRejectedSessionCount", &S::securityRejectedSessionCount},
      {3705, "RejectedSessionCount", &S::rejectedSessionCount},
      {2281, "SessionTimeoutCount", &S::sessionTimeoutCount},
      {2282, "SessionAbortCount", &S::sessionAbortCount},
      {2285, "CurrentSubscriptionCount", &S::currentSubscriptionCount},
      {2286, "CumulatedSubscriptionCount", &S::cumulatedSubscriptionCount},
      {2284, "PublishingIntervalCount", &S::publishingIntervalCount},
      {2287, "SecurityRejectedRequestsCount", &S::securityRejectedRequestsCount},
      {2288, "RejectedRequestsCount", &S::rejectedRequestsCount},
  };
  const uint32_t summaryId = StdId::Server_ServerDiagnostics_ServerDiagnosticsSummary;
  Node& whole = b.variable(summaryId, "ServerDiagnosticsSummary", StdId::ServerDiagnosticsSummaryDataType, Variant(),
                           D, Id::HasComponent, -1, StdId::ServerDiagnosticsSummaryType);
  whole.edit().valueSource = [summary] { return Variant::of(toExtensionObject(summary())); };
  for (const Figure& f : kFigures) {
    Node& n = b.variable(f.id, f.name, Id::UInt32, Variant(), summaryId, Id::HasComponent);
    n.edit().valueSource = [summary, field = f.field] { return Variant::of(summary().*field); };
  }
}

}  // namespace

void addStandardNodes(AddressSpace& space, const ServerIdentity& identity,
                      const ServiceLimits& limits, std::shared_ptr<ServerStatusSource> status,
                      std::function<ServerDiagnosticsSummaryDataType()> diagnostics) {
  Builder b(space);
  addReferenceTypes(b);
  addFolders(b);
  space.addReference(ns0(Id::ReferenceTypesFolder), ns0(Id::Organizes), ns0(Id::References));
  addDataTypes(space, b);
  addObjectAndVariableTypes(space, b);
  b.object(StdId::ModellingRule_Mandatory, "Mandatory", 77);
  addServerObject(space, b, identity, limits, status);
  addServerDiagnostics(b, std::move(diagnostics));
}

}  // namespace zentarc::ua
