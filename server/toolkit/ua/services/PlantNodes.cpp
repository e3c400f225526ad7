#include "server/toolkit/ua/services/PlantNodes.h"

#include "server/toolkit/ua/NodeIds.h"
#include "server/toolkit/ua/services/TagNodes.h"

namespace zentarc::ua {

NodeId plcFolderNodeId(const std::string& plcName) { return NodeId(kTagNamespace, plcName + "/"); }

NodeId plcDiagnosticsNodeId(const std::string& plcName) {
  return NodeId(kTagNamespace, plcName + "/" + kDiagnosticsName);
}

NodeId plcVariableNodeId(const std::string& plcName, PlcVariable variable) {
  return NodeId(kTagNamespace, plcName + "/" + kDiagnosticsName + "/" + describe(variable).name);
}

namespace {

NodeId ns0(uint32_t id) { return NodeId(0, id); }

class PlantBuilder {
 public:
  explicit PlantBuilder(AddressSpace& space) : space_(space) {}

  // The wanted id, or the next free numeric one when a tag or an earlier node has it.
  NodeId choose(NodeId wanted) {
    if (!space_.find(wanted)) return wanted;
    while (space_.find(NodeId(kTagNamespace, nextFallback_))) ++nextFallback_;
    return NodeId(kTagNamespace, nextFallback_++);
  }

  NodeId object(NodeId wanted, const std::string& name, uint32_t typeDefinition, const NodeId& parent,
                uint32_t referenceType) {
    Node n;
    n.nodeId = choose(std::move(wanted));
    n.nodeClass = NodeClass::Object;
    n.edit().browseName = QualifiedName{kTagNamespace, name};
    n.edit().displayName = LocalizedText(name);
    const NodeId id = n.nodeId;
    space_.add(std::move(n));
    space_.addReference(id, ns0(Id::HasTypeDefinition), ns0(typeDefinition));
    space_.addReference(parent, ns0(referenceType), id);
    return id;
  }

  void variable(NodeId wanted, const DiagnosticVariable& v, const NodeId& parent,
                std::function<TimedValue()> source) {
    Node n;
    n.nodeId = choose(std::move(wanted));
    n.nodeClass = NodeClass::Variable;
    n.edit().browseName = QualifiedName{kTagNamespace, v.name};
    n.edit().displayName = LocalizedText(v.name);
    n.edit().timedValueSource = std::move(source);
    n.dataType = ns0(v.dataType);
    n.accessLevel = kAccessCurrentRead;
    const NodeId id = n.nodeId;
    space_.add(std::move(n));
    space_.addReference(id, ns0(Id::HasTypeDefinition), ns0(Id::BaseDataVariableType));
    space_.addReference(parent, ns0(Id::HasComponent), id);
  }

 private:
  AddressSpace& space_;
  uint32_t nextFallback_ = PlantId::FirstFallback;
};

void organizeAll(AddressSpace& space, const NodeId& folderId, const std::vector<Node*>& members) {
  Node& folder = *space.findMutable(folderId);
  folder.edit().organized.reserve(members.size());
  for (Node* member : members) space.organize(folder, *member);
}

}  // namespace

void addPlantNodes(AddressSpace& space, SODaSNameSpaceRoot& root, std::shared_ptr<const PlantView> plant,
                   DiagnosticValues::ServerCounts counts, std::shared_ptr<const BrokerView> broker) {
  const std::size_t plcs = plant ? plant->plcCount() : 0;
  // Each tag's node by PLC (the last list: tags of no known PLC), in load order.
  std::vector<std::vector<Node*>> tagsOf(plcs + 1);
  std::size_t tagNodes = 0;
  for (const auto& tag : root.getTags()) {
    Node* node = space.findMutable(tagNodeId(tag->getName()));
    if (!node || node->tag.get() != tag.get()) continue;  // no UA form, or not this tag's
    const std::optional<std::size_t> plc = plant ? plant->plcOf(*tag) : std::nullopt;
    tagsOf[plc && *plc < plcs ? *plc : plcs].push_back(node);
    ++tagNodes;
  }
  counts.tags = tagNodes;
  const bool mqtt = broker != nullptr;
  auto values = std::make_shared<DiagnosticValues>(plant, std::move(counts), DiagnosticValues::WallClock{},
                                                   std::move(broker));

  PlantBuilder b(space);
  const NodeId top = b.object(NodeId(kTagNamespace, PlantId::Folder), kPlantFolderName, Id::FolderType,
                              ns0(Id::ObjectsFolder), Id::Organizes);
  const NodeId serverDiagnostics = b.object(NodeId(kTagNamespace, PlantId::Diagnostics), kDiagnosticsName,
                                            Id::BaseObjectType, top, Id::Organizes);
  for (std::size_t i = 0; i < kServerVariables; ++i) {
    const auto v = static_cast<ServerVariable>(i);
    b.variable(NodeId(kTagNamespace, PlantId::FirstServerVariable + static_cast<uint32_t>(i)), describe(v),
               serverDiagnostics, [values, v] { return values->serverValue(v); });
  }
  if (mqtt) {
    const NodeId brokerDiagnostics = b.object(NodeId(kTagNamespace, PlantId::BrokerDiagnostics), kBrokerDiagnosticsName,
                                              Id::BaseObjectType, serverDiagnostics, Id::Organizes);
    for (std::size_t i = 0; i < kBrokerVariables; ++i) {
      const auto v = static_cast<BrokerVariable>(i);
      b.variable(NodeId(kTagNamespace, PlantId::FirstBrokerVariable + static_cast<uint32_t>(i)), describe(v),
                 brokerDiagnostics, [values, v] { return values->brokerValue(v); });
    }
  }

  for (std::size_t plc = 0; plc < plcs; ++plc) {
    const std::string name = plant->plcName(plc);
    const NodeId folder = b.object(plcFolderNodeId(name), name, Id::FolderType, top, Id::Organizes);
    const NodeId diagnostics = b.object(plcDiagnosticsNodeId(name), kDiagnosticsName, Id::BaseObjectType,
                                        folder, Id::Organizes);
    for (std::size_t i = 0; i < kPlcVariables; ++i) {
      const auto v = static_cast<PlcVariable>(i);
      b.variable(plcVariableNodeId(name, v), describe(v), diagnostics,
                 [values, plc, v] { return values->plcValue(plc, v); });
    }
    organizeAll(space, folder, tagsOf[plc]);
  }
  organizeAll(space, top, tagsOf[plcs]);
}

}  // namespace zentarc::ua
