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
inline constexpr uint32_t ServerDiagnosticsSummaryDataType = 859, ServerDiagnosticsSummaryType = 2150,
                          Server_ServerDiagnostics_ServerDiagnosticsSummary = 2275;

}  // namespace zentarc::ua::StdId
