// Browse, BrowseNext, TranslateBrowsePathsToNodeIds and RegisterNodes.
#include <set>

#include "server/toolkit/ua/services/PlantNodes.h"
#include "tests/ua/services_Harness.h"

namespace zentarc::ua::test {
namespace {

class ViewServices : public ServicesHarness {
 protected:
  BrowseResponse browse(const NodeId& id, uint32_t maxRefs = 0,
                        BrowseDirection dir = BrowseDirection::Forward, NodeId refType = NodeId(0, Id::HierarchicalReferences)) {
    BrowseRequest r;
    r.requestedMaxReferencesPerNode = maxRefs;
    BrowseDescription d;
    d.nodeId = id;
    d.browseDirection = dir;
    d.referenceTypeId = refType;
    r.nodesToBrowse.push_back(d);
    return run(&UaServices::browse, r);
  }
  std::set<std::string> names(const BrowseResult& r) {
    std::set<std::string> out;
    for (auto& ref : r.references) out.insert(ref.browseName.name);
    return out;
  }
};

TEST_F(ViewServices, root_showsObjectsTypesViews_andTagsOfNoKnownPlcSitInThePlantFolder) {
  addTag("Pump1", VT_BOOL);
  addTag("Pump2", VT_BOOL);
  build();
  EXPECT_EQ(names(browse(NodeId(0, Id::RootFolder)).results[0]),
            (std::set<std::string>{"Objects", "Types", "Views"}));
  EXPECT_EQ(names(browse(NodeId(0, Id::ObjectsFolder)).results[0]),
            (std::set<std::string>{"Server", "OPCZentarc"}));
  BrowseResult plant = browse(NodeId(1, PlantId::Folder)).results[0];
  EXPECT_EQ(names(plant), (std::set<std::string>{"Diagnostics", "Pump1", "Pump2"}));
  for (auto& ref : plant.references) {
    if (ref.browseName.name != "Pump1") continue;
    EXPECT_EQ(ref.nodeId.nodeId, NodeId(1, String("Pump1")));
    EXPECT_EQ(ref.browseName.namespaceIndex, 1);
    EXPECT_EQ(ref.nodeClass, NodeClass::Variable);
    EXPECT_EQ(ref.typeDefinition.nodeId, NodeId(0, Id::BaseDataVariableType));
    EXPECT_EQ(ref.referenceTypeId, NodeId(0, Id::Organizes));
  }
  // Inverse: a tag is organised by the plant folder.
  BrowseResult up = browse(tagId("Pump1"), 0, BrowseDirection::Inverse).results[0];
  ASSERT_EQ(up.references.size(), 1u);
  EXPECT_EQ(up.references[0].nodeId.nodeId, NodeId(1, PlantId::Folder));
  EXPECT_EQ(up.references[0].referenceTypeId, NodeId(0, Id::Organizes));
}

TEST_F(ViewServices, serverObject_andTypeTrees_browseWithoutErrors) {
  build();
  auto server = names(browse(NodeId(0, Id::Server)).results[0]);
  for (const char* n : {"ServerStatus", "NamespaceArray", "ServerArray", "ServerCapabilities"})
    EXPECT_TRUE(server.count(n)) << n;
  auto caps = names(browse(NodeId(0, Id::Server_ServerCapabilities)).results[0]);
  EXPECT_TRUE(caps.count("OperationLimits"));
  auto limits = names(browse(NodeId(0, 11704)).results[0]);
  EXPECT_TRUE(limits.count("MaxNodesPerRead"));
  EXPECT_TRUE(limits.count("MaxMonitoredItemsPerCall"));
  // Every standard folder and type node can be browsed, each target resolves.
  for (uint32_t id : {Id::TypesFolder, Id::ReferenceTypesFolder, Id::DataTypesFolder,
                      Id::ObjectTypesFolder, Id::VariableTypesFolder, Id::References,
                      Id::BaseDataType, Id::BaseObjectType, Id::ViewsFolder}) {
    BrowseResult r = browse(NodeId(0, id), 0, BrowseDirection::Both, NodeId()).results[0];
    EXPECT_TRUE(r.statusCode.isGood()) << id;
    for (auto& ref : r.references) EXPECT_FALSE(ref.browseName.name.empty()) << id;
  }
  // Each type folder leads to the root of its tree.
  EXPECT_EQ(names(browse(NodeId(0, Id::ReferenceTypesFolder)).results[0]), std::set<std::string>{"References"});
  EXPECT_EQ(names(browse(NodeId(0, Id::DataTypesFolder)).results[0]), std::set<std::string>{"BaseDataType"});
  EXPECT_EQ(names(browse(NodeId(0, Id::ObjectTypesFolder)).results[0]), std::set<std::string>{"BaseObjectType"});
  EXPECT_EQ(names(browse(NodeId(0, Id::VariableTypesFolder)).results[0]), std::set<std::string>{"BaseVariableType"});
  auto ints = names(browse(NodeId(0, Id::Integer), 0, BrowseDirection::Forward, NodeId(0, Id::HasSubtype)).results[0]);
  EXPECT_TRUE(ints.count("Int16"));
}

TEST_F(ViewServices, browse_filtersByReferenceSubtypeAndNodeClass) {
  addTag("T", VT_I2);
  build();
  // HasComponent only (not its HasProperty siblings).
  auto comps = names(browse(NodeId(0, Id::Server), 0, BrowseDirection::Forward,
                            NodeId(0, Id::HasComponent)).results[0]);
  EXPECT_TRUE(comps.count("ServerStatus"));
  EXPECT_FALSE(comps.count("NamespaceArray"));
  BrowseRequest r;
  BrowseDescription d;
  d.nodeId = NodeId(1, PlantId::Folder);
  d.referenceTypeId = NodeId(0, Id::Organizes);
  d.nodeClassMask = static_cast<uint32_t>(NodeClass::Variable);
  r.nodesToBrowse = {d};
  EXPECT_EQ(names(run(&UaServices::browse, r).results[0]), (std::set<std::string>{"T"}));
}

TEST_F(ViewServices, browse_badArguments_giveSpecificStatuses) {
  ServiceLimits limits;
  limits.maxNodesPerBrowse = 1;
  build(limits);
  EXPECT_EQ(run(&UaServices::browse, BrowseRequest{}).responseHeader.serviceResult,
            StatusCode(Status::BadNothingToDo));
  BrowseRequest two;
  two.nodesToBrowse.resize(2);
  EXPECT_EQ(run(&UaServices::browse, two).responseHeader.serviceResult,
            StatusCode(Status::BadTooManyOperations));
  EXPECT_EQ(browse(NodeId(0, 999999)).results[0].statusCode, StatusCode(Status::BadNodeIdUnknown));
  EXPECT_EQ(browse(NodeId(0, Id::RootFolder), 0, BrowseDirection::Invalid).results[0].statusCode,
            StatusCode(Status::BadBrowseDirectionInvalid));
  EXPECT_EQ(browse(NodeId(0, Id::RootFolder), 0, BrowseDirection::Forward, NodeId(0, Id::Int16))
                .results[0].statusCode,
            StatusCode(Status::BadReferenceTypeIdInvalid));
}

TEST_F(ViewServices, continuationPoints_pageThroughManyTags_andAreLimited) {
  for (int i = 0; i < 25; ++i) addTag("Tag" + std::to_string(i), VT_I2);
  ServiceLimits limits;
  limits.maxBrowseContinuationPoints = 2;
  build(limits);
  std::set<std::string> seen;
  const NodeId folder(1, PlantId::Folder);
  BrowseResult page = browse(folder, 10).results[0];
  int pages = 1;
  for (auto& n : names(page)) seen.insert(n);
  while (!page.continuationPoint.data.empty() && pages < 10) {
    BrowseNextRequest next;
    next.continuationPoints = {page.continuationPoint};
    page = run(&UaServices::browseNext, next).results.at(0);
    EXPECT_TRUE(page.statusCode.isGood());
    for (auto& n : names(page)) seen.insert(n);
    ++pages;
  }
  EXPECT_EQ(pages, 3);  // 26 references (Diagnostics + 25 tags), 10 per page
  EXPECT_EQ(seen.size(), 26u);

  // Used continuation points are gone; only two may be open at once.
  BrowseNextRequest stale;
  stale.continuationPoints = {ByteString{"1"}};
  EXPECT_EQ(run(&UaServices::browseNext, stale).results.at(0).statusCode,
            StatusCode(Status::BadContinuationPointInvalid));
  BrowseResult a = browse(folder, 5).results[0];
  BrowseResult b = browse(folder, 5).results[0];
  BrowseResult c = browse(folder, 5).results[0];
  EXPECT_FALSE(a.continuationPoint.data.empty());
  EXPECT_FALSE(b.continuationPoint.data.empty());
  EXPECT_EQ(c.statusCode, StatusCode(Status::BadNoContinuationPoints));
  BrowseNextRequest release;
  release.releaseContinuationPoints = true;
  release.continuationPoints = {a.continuationPoint};
  auto released = run(&UaServices::browseNext, release).results.at(0);
  EXPECT_TRUE(released.statusCode.isGood());
  EXPECT_TRUE(released.references.empty());
  EXPECT_FALSE(browse(folder, 5).results[0].continuationPoint.data.empty());
  // Another session cannot use this session's points.
  BrowseNextRequest foreign;
  foreign.continuationPoints = {b.continuationPoint};
  auto other = newSession();
  EXPECT_EQ(run(&UaServices::browseNext, foreign, other).results.at(0).statusCode,
            StatusCode(Status::BadContinuationPointInvalid));
  services_->sessionClosed(*other);
}

TEST_F(ViewServices, translateBrowsePaths_followsNames) {
  addTag("Valve", VT_BOOL);
  build();
  auto path = [](NodeId start, std::vector<QualifiedName> names) {
    BrowsePath p;
    p.startingNode = start;
    for (auto& n : names) {
      RelativePathElement e;
      e.referenceTypeId = NodeId(0, Id::HierarchicalReferences);
      e.targetName = n;
      p.relativePath.elements.push_back(e);
    }
    return p;
  };
  TranslateBrowsePathsToNodeIdsRequest r;
  r.browsePaths = {
      path(NodeId(0, Id::RootFolder), {{0, "Objects"}, {0, "Server"}, {0, "ServerStatus"}, {0, "State"}}),
      path(NodeId(0, Id::ObjectsFolder), {{1, "OPCZentarc"}, {1, "Valve"}}),
      path(NodeId(0, Id::ObjectsFolder), {{1, "OPCZentarc"}, {0, "Valve"}}),  // wrong namespace
      path(NodeId(0, 424242), {{0, "X"}}),
      path(NodeId(0, Id::RootFolder), {{0, ""}}),
      path(NodeId(0, Id::RootFolder), {})};
  auto resp = run(&UaServices::translate, r);
  ASSERT_EQ(resp.results.size(), 6u);
  ASSERT_EQ(resp.results[0].targets.size(), 1u);
  EXPECT_EQ(resp.results[0].targets[0].targetId.nodeId, NodeId(0, Id::Server_ServerStatus_State));
  EXPECT_EQ(resp.results[0].targets[0].remainingPathIndex, 0xFFFFFFFFu);
  EXPECT_EQ(resp.results[1].targets.at(0).targetId.nodeId, tagId("Valve"));
  EXPECT_EQ(resp.results[2].statusCode, StatusCode(Status::BadNoMatch));
  EXPECT_EQ(resp.results[3].statusCode, StatusCode(Status::BadNodeIdUnknown));
  EXPECT_EQ(resp.results[4].statusCode, StatusCode(Status::BadBrowseNameInvalid));
  EXPECT_EQ(resp.results[5].statusCode, StatusCode(Status::BadNothingToDo));
}

TEST_F(ViewServices, translateBrowsePaths_thatWanderForever_areCutShort) {
  for (int i = 0; i < 3000; ++i) addTag("T" + std::to_string(i), VT_I2);
  build();
  // From the folder of 3,000 tags to a tag and back, two thousand times over.
  BrowsePath p;
  p.startingNode = NodeId(1, PlantId::Folder);
  for (int i = 0; i < 2000; ++i) {
    RelativePathElement down, up;
    down.referenceTypeId = up.referenceTypeId = NodeId(0, Id::Organizes);
    down.targetName = {1, "T0"};
    up.isInverse = true;
    up.targetName = {1, "OPCZentarc"};
    p.relativePath.elements.push_back(down);
    p.relativePath.elements.push_back(up);
  }
  TranslateBrowsePathsToNodeIdsRequest r;
  r.browsePaths = {p};
  EXPECT_EQ(run(&UaServices::translate, r).results.at(0).statusCode,
            StatusCode(Status::BadTooManyOperations));
}

TEST_F(ViewServices, registerNodes_echoesIds_andChecksLimits) {
  build();
  RegisterNodesRequest r;
  r.nodesToRegister = {tagId("A"), NodeId(0, Id::Server)};
  EXPECT_EQ(run(&UaServices::registerNodes, r).registeredNodeIds, r.nodesToRegister);
  EXPECT_EQ(run(&UaServices::registerNodes, RegisterNodesRequest{}).responseHeader.serviceResult,
            StatusCode(Status::BadNothingToDo));
  UnregisterNodesRequest u;
  u.nodesToUnregister = {tagId("A")};
  EXPECT_TRUE(run(&UaServices::unregisterNodes, u).responseHeader.serviceResult.isGood());
}

}  // namespace
}  // namespace zentarc::ua::test
