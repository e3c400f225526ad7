#pragma once
// The plant in the address space. Objects organises the folder OPCZentarc (ns=1;i=1), which
// holds the server-wide Diagnostics object (ns=1;i=2) and one folder per PLC
// (ns=1;s=<PLC name>/) that organises the PLC's tags and a Diagnostics object
// (ns=1;s=<PLC name>/Diagnostics, variables ns=1;s=<PLC name>/Diagnostics/<name>). Tags of no
// known PLC sit in OPCZentarc itself.
//
// Tags keep their NodeIds (ns=1;s=<tag name>) whatever else is called: a PLC node whose
// NodeId a tag (or a PLC of the same name before it) already has gets a numeric one
// (ns=1;i=1000 and up) instead, and is found by browsing or by its browse path.
#include <memory>

#include "server/toolkit/SODaSNameSpaceRoot.h"
#include "server/toolkit/ua/services/AddressSpace.h"
#include "server/toolkit/ua/services/DiagnosticValues.h"
#include "server/toolkit/PlantView.h"

namespace zentarc::ua {

namespace PlantId {
inline constexpr uint32_t Folder = 1, Diagnostics = 2;
// The server-wide variables: FirstServerVariable + ServerVariable.
inline constexpr uint32_t FirstServerVariable = 3;
// The MQTT side's object under the server's Diagnostics, and its variables:
// FirstBrokerVariable + BrokerVariable.
inline constexpr uint32_t BrokerDiagnostics = 20, FirstBrokerVariable = 21;
inline constexpr uint32_t FirstFallback = 1000;
}  // namespace PlantId

inline constexpr const char* kPlantFolderName = "OPCZentarc";
inline constexpr const char* kDiagnosticsName = "Diagnostics";
inline constexpr const char* kBrokerDiagnosticsName = "Mqtt";

NodeId plcFolderNodeId(const std::string& plcName);
NodeId plcDiagnosticsNodeId(const std::string& plcName);
NodeId plcVariableNodeId(const std::string& plcName, PlcVariable variable);

// Adds the folders and diagnostics after the standard and the tag nodes; plant may be null.
// counts.tags is filled in here. With a broker, Diagnostics also holds Mqtt (ns=1;i=20).
void addPlantNodes(AddressSpace& space, SODaSNameSpaceRoot& root, std::shared_ptr<const PlantView> plant,
                   DiagnosticValues::ServerCounts counts, std::shared_ptr<const BrokerView> broker = nullptr);

}  // namespace zentarc::ua
