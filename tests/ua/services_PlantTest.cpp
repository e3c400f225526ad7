// The plant in the address space: a folder per PLC organising its tags, the diagnostics
// variables of each PLC and of the server, and what happens when names collide.
#include <set>

#include "server/toolkit/ua/services/PlantNodes.h"
#include "tests/ua/services_Harness.h"

namespace zentarc::ua::test {
namespace {

class FakePlant : public PlantView {
 public:
  std::size_t plcCount() const override { return names.size(); }
  std::string plcName(std::size_t plc) const override { return names.at(plc); }
  std::optional<std::size_t> plcOf(const SODaSTag& tag) const override {
    auto it = plcOfTag.find(tag.getName());
    if (it == plcOfTag.end()) return std::nullopt;
    return it->second;
  }
  PlcDiagnostics diagnostics(std::size_t plc) const override { return figures.at(plc); }
  std::string resultText(std::uint32_t code) const override { return "text of " + std::to_string(code); }

  std::vector<std::string> names;
  std::map<std::string, std::size_t> plcOfTag;
  std::vector<PlcDiagnostics> figures;
};

class PlantNodes : public ServicesHarness {
 protected:
  void addPlc(const std::string& name, const std::vector<std::string>& tags) {
    for (const auto& t : tags) {
      addTag(t, VT_I2);
      fake_->plcOfTag[t] = fake_->names.size();
    }
    fake_->names.push_back(name);
    fake_->figures.emplace_back();
  }
  void buildPlant() {
    plant_ = fake_;
    build();
  }
  BrowseResult browse(const NodeId& id, BrowseDirection dir = BrowseDirection::Forward) {
    BrowseRequest r;
    BrowseDescription d;
    d.nodeId = id;
    d.browseDirection = dir;
    d.referenceTypeId = NodeId(0, Id::HierarchicalReferences);
    r.nodesToBrowse.push_back(d);
    return run(&UaServices::browse, r).results.at(0);
  }
  std::vector<std::string> names(const BrowseResult& r) {
    std::vector<std::string> out;
    for (auto& ref : r.references) out.push_back(ref.browseName.name);
    return out;
  }
  // The target of the one forward reference with this browse name.
  NodeId child(const NodeId& parent, const std::string& name) {
    NodeId found;
    int matches = 0;
    for (auto& ref : browse(parent).references)
      if (ref.browseName.name == name) {
        found = ref.nodeId.nodeId;
        ++matches;
      }
    EXPECT_EQ(matches, 1) << name;
    return found;
  }
  BrowsePathResult translate(NodeId start, const std::vector<std::string>& path) {
    BrowsePath p;
    p.startingNode = std::move(start);
    for (const auto& n : path) {
      RelativePathElement e;
      e.referenceTypeId = NodeId(0, Id::HierarchicalReferences);
      e.includeSubtypes = true;
      e.targetName = {1, n};
      p.relativePath.elements.push_back(e);
    }
    TranslateBrowsePathsToNodeIdsRequest r;
    r.browsePaths = {p};
    return run(&UaServices::translate, r).results.at(0);
  }
  DataValue read(const NodeId& id, AttributeId attribute = AttributeId::Value) {
    ReadRequest r;
    ReadValueId v;
    v.nodeId = id;
    v.attributeId = static_cast<uint32_t>(attribute);
    r.nodesToRead = {v};
    r.timestampsToReturn = TimestampsToReturn::Both;
    return run(&UaServices::read, r).results.at(0);
  }
  DataValue readPlc(const std::string& plc, PlcVariable v) { return read(plcVariableNodeId(plc, v)); }

  std::shared_ptr<FakePlant> fake_ = std::make_shared<FakePlant>();
  const NodeId top_{1, PlantId::Folder};
};

TEST_F(PlantNodes, eachPlcFolderOrganisesItsOwnTags_andObjectsListsNoTag) {
  addPlc("Line1", {"A", "B"});
  addPlc("Line2", {"C"});
  addTag("Loose", VT_BOOL);  // of no known PLC
  buildPlant();
  EXPECT_EQ(names(browse(NodeId(0, Id::ObjectsFolder))), (std::vector<std::string>{"Server", "OPCZentarc"}));
  EXPECT_EQ(names(browse(top_)), (std::vector<std::string>{"Diagnostics", "Line1", "Line2", "Loose"}));
  for (auto& ref : browse(top_).references) {
    if (ref.browseName.name != "Line1") continue;
    EXPECT_EQ(ref.nodeId.nodeId, NodeId(1, String("Line1/")));
    EXPECT_EQ(ref.browseName.namespaceIndex, 1);
    EXPECT_EQ(ref.displayName.text, "Line1");
    EXPECT_EQ(ref.nodeClass, NodeClass::Object);
    EXPECT_EQ(ref.typeDefinition.nodeId, NodeId(0, Id::FolderType));
    EXPECT_EQ(ref.referenceTypeId, NodeId(0, Id::Organizes));
  }
  // The diagnostics first, then the tags in configuration order; the tags keep their ids.
  BrowseResult line1 = browse(NodeId(1, String("Line1/")));
  EXPECT_EQ(names(line1), (std::vector<std::string>{"Diagnostics", "A", "B"}));
  EXPECT_EQ(line1.references.at(1).nodeId.nodeId, tagId("A"));
  EXPECT_EQ(line1.references.at(1).typeDefinition.nodeId, NodeId(0, Id::BaseDataVariableType));
  EXPECT_EQ(names(browse(NodeId(1, String("Line2/")))), (std::vector<std::string>{"Diagnostics", "C"}));
  BrowseResult up = browse(tagId("C"), BrowseDirection::Inverse);
  ASSERT_EQ(up.references.size(), 1u);
  EXPECT_EQ(up.references[0].nodeId.nodeId, NodeId(1, String("Line2/")));
  EXPECT_EQ(read(tagId("A"), AttributeId::BrowseName).value->get<QualifiedName>()->name, "A");
  // A PLC's diagnostics, in their order.
  EXPECT_EQ(names(browse(NodeId(1, String("Line1/Diagnostics")))),
            (std::vector<std::string>{"State", "Connected", "LastResultCode", "LastResultText", "LastChange",
                                      "MessagesSent", "MessagesFailed", "Reconnects", "ScanPeriodMs",
                                      "PolledBlocks", "PolledTags", "CpuState", "CpuRunning", "SweepTimeMs",
                                      "PlcStatusWord"}));
}

TEST_F(PlantNodes, translateBrowsePaths_reachTagsAndDiagnosticsThroughThePlcFolders) {
  addPlc("Line1", {"A"});
  addPlc("Line2", {"C"});
  buildPlant();
  const NodeId objects(0, Id::ObjectsFolder);
  BrowsePathResult tag = translate(objects, {"OPCZentarc", "Line1", "A"});
  ASSERT_EQ(tag.targets.size(), 1u);
  EXPECT_EQ(tag.targets[0].targetId.nodeId, tagId("A"));
  BrowsePathResult state = translate(objects, {"OPCZentarc", "Line2", "Diagnostics", "State"});
  ASSERT_EQ(state.targets.size(), 1u);
  EXPECT_EQ(state.targets[0].targetId.nodeId, NodeId(1, String("Line2/Diagnostics/State")));
  BrowsePathResult plcs = translate(objects, {"OPCZentarc", "Diagnostics", "Plcs"});
  ASSERT_EQ(plcs.targets.size(), 1u);
  EXPECT_EQ(plcs.targets[0].targetId.nodeId, NodeId(1, PlantId::FirstServerVariable + 1));
  // Another PLC's folder does not hold the tag.
  EXPECT_EQ(translate(objects, {"OPCZentarc", "Line1", "C"}).statusCode, StatusCode(Status::BadNoMatch));
}

TEST_F(PlantNodes, plcDiagnostics_showTheSnapshotGoodWithTypes_andAreReadOnly) {
  addPlc("Line1", {"A"});
  addPlc("Line2", {"C"});
  PlcDiagnostics& d = fake_->figures[0];
  d.state = "demoted";
  d.failing = true;
  d.lastResultCode = 32;
  d.lastChange = std::chrono::system_clock::time_point(std::chrono::milliseconds(1'700'000'000'000));
  d.messagesSent = 5'000'000'000ull;
  d.messagesFailed = 12;
  d.reconnects = 3;
  d.scanPeriodMs = 250;
  d.polledBlocks = 2;
  d.polledTags = 9;
  d.cpuState = "stop, faulted";
  d.sweepTimeMs = 12;
  d.plcStatusWord = 0x3100;
  fake_->figures[1].state = "working";
  fake_->figures[1].cpuState = "run, outputs enabled";
  fake_->figures[1].cpuRunning = true;
  fake_->figures[1].connected = true;
  buildPlant();

  auto expectValue = [&](const std::string& plc, PlcVariable v, const Variant& want) {
    const DataValue dv = readPlc(plc, v);
    EXPECT_FALSE(dv.status && !dv.status->isGood()) << describe(v).name;
    ASSERT_TRUE(dv.value) << describe(v).name;
    EXPECT_EQ(*dv.value, want) << describe(v).name;
    EXPECT_TRUE(dv.sourceTimestamp) << describe(v).name;
    EXPECT_EQ(read(plcVariableNodeId(plc, v), AttributeId::DataType).value,
              Variant::of(NodeId(0, describe(v).dataType)))
        << describe(v).name;
    EXPECT_EQ(read(plcVariableNodeId(plc, v), AttributeId::AccessLevel).value, Variant::of(kAccessCurrentRead));
  };
  expectValue("Line1", PlcVariable::State, Variant::of(String("demoted")));
  expectValue("Line1", PlcVariable::Connected, Variant::of(false));
  expectValue("Line1", PlcVariable::LastResultCode, Variant::of(uint32_t{32}));
  expectValue("Line1", PlcVariable::LastResultText, Variant::of(String("text of 32")));
  expectValue("Line1", PlcVariable::LastChange, Variant::of(DateTime::fromUnixMillis(1'700'000'000'000)));
  expectValue("Line1", PlcVariable::MessagesSent, Variant::of(uint64_t{5'000'000'000ull}));
  expectValue("Line1", PlcVariable::MessagesFailed, Variant::of(uint64_t{12}));
  expectValue("Line1", PlcVariable::Reconnects, Variant::of(uint32_t{3}));
  expectValue("Line1", PlcVariable::ScanPeriodMs, Variant::of(250.0));
  expectValue("Line1", PlcVariable::PolledBlocks, Variant::of(uint32_t{2}));
  expectValue("Line1", PlcVariable::PolledTags, Variant::of(uint32_t{9}));
  expectValue("Line1", PlcVariable::CpuState, Variant::of(String("stop, faulted")));
  expectValue("Line1", PlcVariable::CpuRunning, Variant::of(false));
  expectValue("Line1", PlcVariable::SweepTimeMs, Variant::of(uint16_t{12}));
  expectValue("Line1", PlcVariable::PlcStatusWord, Variant::of(uint16_t{0x3100}));
  expectValue("Line2", PlcVariable::CpuState, Variant::of(String("run, outputs enabled")));
  expectValue("Line2", PlcVariable::CpuRunning, Variant::of(true));
  // A PLC that never failed: no text, and no time of a change rather than 1970.
  expectValue("Line2", PlcVariable::State, Variant::of(String("working")));
  expectValue("Line2", PlcVariable::Connected, Variant::of(true));
  expectValue("Line2", PlcVariable::LastResultText, Variant::of(String()));
  expectValue("Line2", PlcVariable::LastChange, Variant::of(DateTime{}));

  WriteRequest w;
  WriteValue wv;
  wv.nodeId = plcVariableNodeId("Line1", PlcVariable::State);
  wv.attributeId = static_cast<uint32_t>(AttributeId::Value);
  wv.value.value = Variant::of(String("working"));
  w.nodesToWrite = {wv};
  EXPECT_EQ(run(&UaServices::write, w).results.at(0), StatusCode(Status::BadNotWritable));
}

TEST_F(PlantNodes, serverDiagnostics_countTagsPlcsFailingSessionsAndMonitoredItems) {
  addPlc("Line1", {"A", "B"});
  addPlc("Line2", {"C"});
  addPlc("Line3", {});
  addTag("Loose", VT_BOOL);
  fake_->figures[0].failing = true;
  fake_->figures[2].failing = true;
  buildPlant();
  auto server = [&](ServerVariable v) {
    return *read(NodeId(1, PlantId::FirstServerVariable + static_cast<uint32_t>(v))).value;
  };
  EXPECT_EQ(server(ServerVariable::Tags), Variant::of(uint32_t{4}));
  EXPECT_EQ(server(ServerVariable::Plcs), Variant::of(uint32_t{3}));
  EXPECT_EQ(server(ServerVariable::PlcsFailing), Variant::of(uint32_t{2}));
  EXPECT_EQ(server(ServerVariable::MonitoredItems), Variant::of(uint32_t{0}));

  CreateSubscriptionRequest cs;
  cs.requestedPublishingInterval = 100;
  const uint32_t sub = run(&UaServices::createSubscription, cs).subscriptionId;
  CreateMonitoredItemsRequest cm;
  cm.subscriptionId = sub;
  for (const char* t : {"A", "C"}) {
    MonitoredItemCreateRequest c;
    c.itemToMonitor = valueOf(t);
    cm.itemsToCreate.push_back(c);
  }
  run(&UaServices::createMonitoredItems, cm);
  EXPECT_EQ(server(ServerVariable::MonitoredItems), Variant::of(uint32_t{2}));
  EXPECT_EQ(server(ServerVariable::Sessions), Variant::of(uint32_t{1}));
  auto other = newSession();
  BrowseRequest br;
  br.nodesToBrowse.resize(1);
  br.nodesToBrowse[0].nodeId = top_;
  run(&UaServices::browse, br, other);
  EXPECT_EQ(server(ServerVariable::Sessions), Variant::of(uint32_t{2}));
  services_->sessionClosed(*other);
  fake_->figures[0].failing = false;
  EXPECT_EQ(server(ServerVariable::PlcsFailing), Variant::of(uint32_t{1}));
}

TEST_F(PlantNodes, aSubscribedDiagnostic_notifiesWhenTheFigureChanges_only) {
  addPlc("Line1", {"A"});
  fake_->figures[0].state = "working";
  buildPlant();
  CreateSubscriptionRequest cs;
  cs.requestedPublishingInterval = 100;
  cs.requestedMaxKeepAliveCount = 50;
  cs.requestedLifetimeCount = 200;
  const uint32_t sub = run(&UaServices::createSubscription, cs).subscriptionId;
  CreateMonitoredItemsRequest cm;
  cm.subscriptionId = sub;
  MonitoredItemCreateRequest c;
  c.itemToMonitor.nodeId = plcVariableNodeId("Line1", PlcVariable::State);
  c.itemToMonitor.attributeId = static_cast<uint32_t>(AttributeId::Value);
  c.requestedParameters.clientHandle = 5;
  c.requestedParameters.samplingInterval = 100;
  c.requestedParameters.queueSize = 1;
  cm.itemsToCreate = {c};
  ASSERT_TRUE(run(&UaServices::createMonitoredItems, cm).results.at(0).statusCode.isGood());

  // Every answer to a publish: the State values it carried.
  std::vector<uint32_t> waiting;
  auto states = [&](int cycles) {
    std::vector<std::string> seen;
    for (int i = 0; i < cycles; ++i) {
      waiting.push_back(call(&UaServices::publish, PublishRequest{}));
      advance(100);
      if (!answered(waiting.front())) continue;
      const uint32_t p = waiting.front();
      waiting.erase(waiting.begin());
      for (const auto& eo : response<PublishResponse>(p).notificationMessage.notificationData) {
        DataChangeNotification dcn;
        if (fromExtensionObject(eo, dcn))
          for (auto& n : dcn.monitoredItems) seen.push_back(*n.value.value->get<String>());
      }
    }
    return seen;
  };
  EXPECT_EQ(states(3), std::vector<std::string>{"working"});
  fake_->figures[0].state = "failing";
  EXPECT_EQ(states(3), std::vector<std::string>{"failing"});
  EXPECT_TRUE(states(3).empty());
  fake_->figures[0].state = "working";
  EXPECT_EQ(states(3), std::vector<std::string>{"working"});
}

TEST_F(PlantNodes, tagsKeepTheirNodeIds_plcNodesTheyWouldHideTakeNumericOnes) {
  // Tags named like PLC P's folder and one of its variables, a tag named like the
  // Diagnostics object, and a PLC named like a tag.
  addPlc("P", {"P/", "P/Diagnostics/State", "Diagnostics", "Valve"});
  addPlc("Valve", {"V1"});
  buildPlant();
  auto isTag = [&](const NodeId& id) {
    return read(id, AttributeId::DataType).value == Variant::of(NodeId(0, Id::Int16)) &&
           read(id, AttributeId::NodeClass).value == Variant::of(static_cast<int32_t>(NodeClass::Variable));
  };
  EXPECT_TRUE(isTag(NodeId(1, String("P/"))));  // the tag, not the folder
  EXPECT_TRUE(isTag(NodeId(1, String("P/Diagnostics/State"))));

  const NodeId folder = child(top_, "P");
  ASSERT_TRUE(folder.isNumeric());
  EXPECT_GE(folder.numericId(), PlantId::FirstFallback);
  EXPECT_EQ(names(browse(folder)), (std::vector<std::string>{"Diagnostics", "P/", "P/Diagnostics/State",
                                                              "Diagnostics", "Valve"}));
  // Its Diagnostics object kept its string id; only State had to give way.
  const BrowsePathResult state = translate(top_, {"P", "Diagnostics", "State"});
  ASSERT_EQ(state.targets.size(), 1u);
  const NodeId stateId = state.targets[0].targetId.nodeId;
  EXPECT_GE(stateId.numericId(), PlantId::FirstFallback);
  EXPECT_EQ(*read(stateId).value, Variant::of(String("idle")));
  EXPECT_EQ(*read(NodeId(1, String("P/Diagnostics/Connected"))).value, Variant::of(false));
  // "Diagnostics" names both the object and the tag; a path through it still finds only the
  // variable, and the path to it both.
  EXPECT_EQ(translate(top_, {"P", "Diagnostics"}).targets.size(), 2u);
  // PLC Valve and tag Valve are told apart by the folder's slash.
  EXPECT_EQ(child(top_, "Valve"), NodeId(1, String("Valve/")));
  EXPECT_TRUE(isTag(tagId("Valve")));
  const BrowsePathResult v1 = translate(top_, {"Valve", "V1"});
  ASSERT_EQ(v1.targets.size(), 1u);
  EXPECT_EQ(v1.targets[0].targetId.nodeId, tagId("V1"));
}

TEST_F(PlantNodes, twoPlcsOfOneName_getTwoFolders_eachWithItsOwnTagsAndFigures) {
  addPlc("Press", {"A"});
  addPlc("Press", {"B"});
  fake_->figures[0].state = "working";
  fake_->figures[1].state = "demoted";
  buildPlant();
  std::vector<NodeId> folders;
  for (auto& ref : browse(top_).references)
    if (ref.browseName.name == "Press") folders.push_back(ref.nodeId.nodeId);
  ASSERT_EQ(folders.size(), 2u);
  EXPECT_EQ(folders[0], NodeId(1, String("Press/")));
  EXPECT_TRUE(folders[1].isNumeric());
  EXPECT_EQ(names(browse(folders[0])), (std::vector<std::string>{"Diagnostics", "A"}));
  EXPECT_EQ(names(browse(folders[1])), (std::vector<std::string>{"Diagnostics", "B"}));
  EXPECT_EQ(*readPlc("Press", PlcVariable::State).value, Variant::of(String("working")));
  const NodeId secondDiagnostics = child(folders[1], "Diagnostics");
  EXPECT_EQ(*read(child(secondDiagnostics, "State")).value, Variant::of(String("demoted")));
  // A path by name finds the tag in whichever folder holds it.
  const BrowsePathResult b = translate(top_, {"Press", "B"});
  ASSERT_EQ(b.targets.size(), 1u);
  EXPECT_EQ(b.targets[0].targetId.nodeId, tagId("B"));
}

TEST_F(PlantNodes, oddPlcNames_stayExactInNodeIdsAndBrowseNames) {
  const std::string odd = "Line 2/Ofen;s=\xC3\x84 &<x>";
  addPlc(odd, {"T"});
  fake_->figures[0].state = "failing";
  buildPlant();
  EXPECT_EQ(child(top_, odd), NodeId(1, odd + "/"));
  EXPECT_EQ(read(NodeId(1, odd + "/"), AttributeId::DisplayName).value->get<LocalizedText>()->text, odd);
  EXPECT_EQ(*readPlc(odd, PlcVariable::State).value, Variant::of(String("failing")));
  const BrowsePathResult t = translate(NodeId(0, Id::ObjectsFolder), {"OPCZentarc", odd, "T"});
  ASSERT_EQ(t.targets.size(), 1u);
  EXPECT_EQ(t.targets[0].targetId.nodeId, tagId("T"));
}

TEST(DiagnosticValues, aFigureKeepsTheTimeItTookItsValue_untilItChanges) {
  auto plant = std::make_shared<FakePlant>();
  plant->names = {"P"};
  plant->figures.resize(1);
  plant->figures[0].messagesSent = 10;
  int64_t now = 1000;
  std::size_t items = 3;
  DiagnosticValues::ServerCounts counts;
  counts.monitoredItems = [&] { return items; };
  DiagnosticValues values(plant, counts, [&] { return DateTime{now}; });

  EXPECT_EQ(values.plcValue(0, PlcVariable::MessagesSent).sourceTime, DateTime{1000});
  now = 2000;
  EXPECT_EQ(values.plcValue(0, PlcVariable::MessagesSent).sourceTime, DateTime{1000});
  EXPECT_EQ(values.plcValue(0, PlcVariable::State).sourceTime, DateTime{2000});  // each its own
  plant->figures[0].messagesSent = 11;
  now = 3000;
  const TimedValue changed = values.plcValue(0, PlcVariable::MessagesSent);
  EXPECT_EQ(changed.value, Variant::of(uint64_t{11}));
  EXPECT_EQ(changed.sourceTime, DateTime{3000});
  now = 4000;
  EXPECT_EQ(values.plcValue(0, PlcVariable::MessagesSent).sourceTime, DateTime{3000});

  EXPECT_EQ(values.serverValue(ServerVariable::MonitoredItems).sourceTime, DateTime{4000});
  items = 4;
  now = 5000;
  const TimedValue more = values.serverValue(ServerVariable::MonitoredItems);
  EXPECT_EQ(more.value, Variant::of(uint32_t{4}));
  EXPECT_EQ(more.sourceTime, DateTime{5000});
  // A PLC that does not exist reads as nothing rather than out of bounds.
  EXPECT_EQ(values.plcValue(7, PlcVariable::State).value, Variant());
}

}  // namespace
}  // namespace zentarc::ua::test
