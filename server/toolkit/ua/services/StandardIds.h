#pragma once
// Standard node ids (namespace 0) the address space needs beyond those in NodeIds.h.
#include <cstdint>

namespace zentarc::ua::StdId {

inline constexpr uint32_t ModellingRule_Mandatory = 78, ModellingRule_Optional = 80;
inline constexpr uint32_t Server_ServerCapabilities_ModellingRules = 2996,
                          Server_ServerCapabilities_AggregateFunctions = 2997,
                          Server_ServerDiagnostics_EnabledFlag = 2294,
                          Server_ServerRedundancy_RedundancySupport = 3709,
                          RedundancySupport = 851;
// The OperationLimits children, as the standard numbers them.
inline constexpr uint32_t OperationLimits = 11704, MaxNodesPerRead = 11705,
                          MaxNodesPerWrite = 11707, MaxNodesPerMethodCall = 11709,
                          MaxNodesPerBrowse = 11710, MaxNodesPerRegisterNodes = 11711,
                          MaxNodesPerTranslateBrowsePathsToNodeIds = 11712,
                          MaxNodesPerNodeManagement = 11713, MaxMonitoredItemsPerCall = 11714;

}  // namespace zentarc::ua::StdId
