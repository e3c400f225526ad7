// Read and Write against tags with a fake device.
#include <cmath>

#include "tests/ua/services_Harness.h"

namespace zentarc::ua::test {
namespace {

using A = AttributeId;

class AttributeServices : public ServicesHarness {
 protected:
  ReadResponse readValues(std::vector<std::string> tags, double maxAge = 1e9) {
    ReadRequest r;
    r.maxAge = maxAge;
    for (auto& t : tags) r.nodesToRead.push_back(valueOf(t));
    return run(&UaServices::read, r);
  }
  DataValue readAttr(const NodeId& id, A attr) {
    ReadRequest r;
    ReadValueId v;
    v.nodeId = id;
    v.attributeId = static_cast<uint32_t>(attr);
    r.nodesToRead.push_back(v);
    return run(&UaServices::read, r).results.at(0);
  }
  uint32_t startWrite(const std::string& tag, Variant value) {
    WriteRequest w;
    WriteValue v;
    v.nodeId = tagId(tag);
    v.value.value = std::move(value);
    w.nodesToWrite.push_back(v);
    return call(&UaServices::write, w);
  }
  StatusCode write(const std::string& tag, Variant value) {
    return response<WriteResponse>(startWrite(tag, std::move(value))).results.at(0);
  }
};

TEST_F(AttributeServices, tagNodes_carryTypeRankDimensionsAccessAndComment) {
  addTag("Speed", VT_R4, 0, OPC_READABLE, "line speed");
  addTag("Recipe", VT_ARRAY | VT_UI2, 12);
  addTag("Name", VT_BSTR, 8, OPC_WRITEABLE);
  build();
  EXPECT_EQ(*readAttr(tagId("Speed"), A::DataType).value->get<NodeId>(), NodeId(0, Id::Float));
  EXPECT_EQ(*readAttr(tagId("Speed"), A::ValueRank).value->get<int32_t>(), -1);
  EXPECT_EQ(*readAttr(tagId("Speed"), A::AccessLevel).value->get<uint8_t>(), 1);
  EXPECT_EQ(*readAttr(tagId("Speed"), A::UserAccessLevel).value->get<uint8_t>(), 1);
  EXPECT_EQ(readAttr(tagId("Speed"), A::Description).value->get<LocalizedText>()->text, "line speed");
  EXPECT_EQ(*readAttr(tagId("Recipe"), A::DataType).value->get<NodeId>(), NodeId(0, Id::UInt16));
  EXPECT_EQ(*readAttr(tagId("Recipe"), A::ValueRank).value->get<int32_t>(), 1);
  Variant dims = *readAttr(tagId("Recipe"), A::ArrayDimensions).value;
  ASSERT_EQ(dims.array.size(), 1u);
  EXPECT_EQ(std::get<uint32_t>(dims.array[0]), 12u);
  EXPECT_EQ(*readAttr(tagId("Name"), A::AccessLevel).value->get<uint8_t>(), 2);
  EXPECT_EQ(readAttr(tagId("Name"), A::IsAbstract).status, StatusCode(Status::BadAttributeIdInvalid));
  EXPECT_EQ(readAttr(NodeId(1, String("Nope")), A::Value).status, StatusCode(Status::BadNodeIdUnknown));
}

TEST_F(AttributeServices, read_neverReadFromDevice_asksTheDevice_evenWithALargeMaxAge) {
  DeviceTag* t = addTag("Level", VT_I2);
  build();
  ReadRequest r;
  r.maxAge = 1e9;
  r.nodesToRead = {valueOf("Level")};
  const uint32_t id = call(&UaServices::read, r);
  ASSERT_EQ(t->pending.size(), 1u);
  t->getCache()->setValue(SOCmnVariant::fromI2(-7));
  t->getCache()->setQuality(OPC_QUALITY_GOOD);
  t->pending[0]->complete(S_OK);
  runPosted();
  DataValue dv = response<ReadResponse>(id).results.at(0);
  EXPECT_FALSE(dv.status.has_value());
  EXPECT_EQ(*dv.value->get<int16_t>(), -7);
  EXPECT_TRUE(dv.sourceTimestamp.has_value());
  // Now the cache is fresh enough: answered at once.
  EXPECT_EQ(*readValues({"Level"}).results.at(0).value->get<int16_t>(), -7);
  EXPECT_EQ(t->pending.size(), 1u);
}

TEST_F(AttributeServices, read_mapsQualitiesToStatusCodes) {
  DeviceTag* t = addTag("Flow", VT_UI4);
  build();
  t->getCache()->setValue(SOCmnVariant::fromUI4(5));
  const std::pair<uint16_t, uint32_t> cases[] = {
      {0xC0, Status::Good}, {0x18, Status::BadCommunicationError}, {0x0C, Status::BadDeviceFailure},
      {0x1C, Status::BadOutOfService}, {0x00, Status::Bad}};
  for (auto [quality, status] : cases) {
    t->getCache()->setQuality(quality);
    DataValue dv = readValues({"Flow"}).results[0];
    EXPECT_EQ(dv.status.value_or(StatusCode()).value, status) << std::hex << quality;
    // A Bad status carries no value: the last one is not what the device holds now.
    EXPECT_EQ(dv.value.has_value(), status == Status::Good) << std::hex << quality;
  }
}

TEST_F(AttributeServices, deviceRead_answersWithWhatTheReadFound_evenWhenTheCacheKeepsNothingCurrent) {
  DeviceTag* t = addTag("Level", VT_I2);
  build();
  ReadRequest r;
  r.nodesToRead = {valueOf("Level")};
  const uint32_t id = call(&UaServices::read, r);
  ASSERT_EQ(t->pending.size(), 1u);
  SODaSCacheSnapshot found;
  found.value = SOCmnVariant::fromI2(12);
  found.waitingForInitialData = false;
  t->pending[0]->setReadResult(found);
  t->pending[0]->complete(S_OK);
  runPosted();
  DataValue dv = response<ReadResponse>(id).results.at(0);
  EXPECT_FALSE(dv.status.has_value());
  EXPECT_EQ(*dv.value->get<int16_t>(), 12);
  // The cache still holds no current value: the next Read asks the device again.
  r.maxAge = 60000;
  const uint32_t again = call(&UaServices::read, r);
  EXPECT_FALSE(answered(again));
  EXPECT_EQ(t->pending.size(), 2u);
}

TEST_F(AttributeServices, read_everyTypeComesOutWithItsUaType) {
  addTag("I2", VT_I2); addTag("UI2", VT_UI2); addTag("I4", VT_I4); addTag("UI4", VT_UI4);
  addTag("R4", VT_R4); addTag("B", VT_BOOL); addTag("S", VT_BSTR, 5);
  addTag("AI1", VT_ARRAY | VT_I1, 3); addTag("AUI1", VT_ARRAY | VT_UI1, 3);
  addTag("AI2", VT_ARRAY | VT_I2, 2); addTag("AUI2", VT_ARRAY | VT_UI2, 2);
  addTag("AI4", VT_ARRAY | VT_I4, 2); addTag("AUI4", VT_ARRAY | VT_UI4, 2);
  addTag("AR4", VT_ARRAY | VT_R4, 2); addTag("AB", VT_ARRAY | VT_BOOL, 4);
  build();
  auto set = [&](const char* name, SOCmnVariant v) {
    root_->findTag(name)->getCache()->setValue(v);
  };
  for (auto& tag : root_->getTags()) tag->getCache()->setValue(tag->getCache()->getValue());
  set("I2", SOCmnVariant::fromI2(-2));
  set("S", SOCmnVariant::fromBstr(u"AB\0\0\0"));
  const int8_t bytes[] = {-1, 0, 1};
  set("AI1", SOCmnVariant::fromArray<int8_t>(VT_I1, bytes));
  const VARIANT_BOOL bools[] = {VARIANT_TRUE, VARIANT_FALSE, VARIANT_TRUE, VARIANT_FALSE};
  set("AB", SOCmnVariant::fromArray<VARIANT_BOOL>(VT_BOOL, bools));
  auto r = readValues({"I2", "UI2", "I4", "UI4", "R4", "B", "S", "AI1", "AUI1", "AI2", "AUI2",
                       "AI4", "AUI4", "AR4", "AB"});
  const VariantType types[] = {VariantType::Int16, VariantType::UInt16, VariantType::Int32,
                               VariantType::UInt32, VariantType::Float, VariantType::Boolean,
                               VariantType::String, VariantType::SByte, VariantType::Byte,
                               VariantType::Int16, VariantType::UInt16, VariantType::Int32,
                               VariantType::UInt32, VariantType::Float, VariantType::Boolean};
  ASSERT_EQ(r.results.size(), 15u);
  for (size_t i = 0; i < 15; ++i) {
    ASSERT_TRUE(r.results[i].value) << i;
    EXPECT_EQ(r.results[i].value->type, types[i]) << i;
    EXPECT_EQ(r.results[i].value->isArray, i >= 7) << i;
  }
  EXPECT_EQ(*r.results[0].value->get<int16_t>(), -2);
  EXPECT_EQ(*r.results[6].value->get<String>(), "AB");  // NUL padding is not text
  EXPECT_EQ(std::get<int8_t>(r.results[7].value->array[0]), -1);
  EXPECT_EQ(r.results[14].value->array.size(), 4u);
  EXPECT_TRUE(std::get<bool>(r.results[14].value->array[0]));
  EXPECT_FALSE(std::get<bool>(r.results[14].value->array[1]));
}

TEST_F(AttributeServices, read_limitsAndArgumentsAreCheckedFirst) {
  addTag("T", VT_I2);
  ServiceLimits limits;
  limits.maxNodesPerRead = 2;
  build(limits);
  EXPECT_EQ(readValues({}).responseHeader.serviceResult, StatusCode(Status::BadNothingToDo));
  EXPECT_EQ(readValues({"T", "T", "T"}).responseHeader.serviceResult,
            StatusCode(Status::BadTooManyOperations));
  EXPECT_EQ(readValues({"T"}, -1).responseHeader.serviceResult, StatusCode(Status::BadMaxAgeInvalid));
}

TEST_F(AttributeServices, read_unreadableTag_isBadNotReadable) {
  addTag("W", VT_I2, 0, OPC_WRITEABLE);
  build();
  EXPECT_EQ(readValues({"W"}).results[0].status, StatusCode(Status::BadNotReadable));
}

TEST_F(AttributeServices, readMaxAgeZero_goesToTheDevice_andAnswersWhenComplete) {
  DeviceTag* a = addTag("A", VT_I4);
  DeviceTag* b = addTag("B", VT_I4);
  build();
  ReadRequest r;
  r.maxAge = 0;
  r.nodesToRead = {valueOf("A"), valueOf("B")};
  const uint32_t id = call(&UaServices::read, r);
  ASSERT_EQ(a->pending.size(), 1u);
  ASSERT_EQ(b->pending.size(), 1u);
  EXPECT_TRUE(a->pending[0]->isDeviceRead());
  a->getCache()->setValue(SOCmnVariant::fromI4(70000));
  a->pending[0]->complete(S_OK);
  runPosted();
  EXPECT_FALSE(answered(id));  // B is still out
  b->getCache()->setQuality(OPC_QUALITY_COMM_FAILURE);
  b->pending[0]->complete(S_OK);
  runPosted();
  ASSERT_TRUE(answered(id));
  auto resp = response<ReadResponse>(id);
  EXPECT_EQ(*resp.results[0].value->get<int32_t>(), 70000);
  EXPECT_EQ(resp.results[1].status, StatusCode(Status::BadCommunicationError));
}

TEST_F(AttributeServices, readFromCache_whenFreshEnough_touchesNoDevice) {
  DeviceTag* a = addTag("A", VT_I2);
  build();
  a->getCache()->setValue(SOCmnVariant::fromI2(3));
  auto r = readValues({"A"}, 60000);
  EXPECT_TRUE(a->pending.empty());
  EXPECT_EQ(*r.results[0].value->get<int16_t>(), 3);
}

TEST_F(AttributeServices, deviceRead_thatNeverCompletes_timesOutWithBadTimeout) {
  addTag("A", VT_I2);
  build();
  ReadRequest r;
  r.nodesToRead = {valueOf("A"), valueOf("Missing")};
  const uint32_t id = call(&UaServices::read, r, nullptr, 500);
  advance(350);
  EXPECT_FALSE(answered(id));
  advance(100);  // before the hint runs out, so the client still takes the answer
  ASSERT_TRUE(answered(id));
  auto resp = response<ReadResponse>(id);
  EXPECT_EQ(resp.results[0].status, StatusCode(Status::BadTimeout));
  EXPECT_EQ(resp.results[1].status, StatusCode(Status::BadNodeIdUnknown));
}

TEST_F(AttributeServices, write_goesThroughAWriteRequest_andReportsItsResult) {
  DeviceTag* t = addTag("Setpoint", VT_I2);
  build();
  const uint32_t id = startWrite("Setpoint", Variant::of(int16_t{42}));
  ASSERT_EQ(t->pending.size(), 1u);
  EXPECT_EQ(t->pending[0]->getWriteValue().iVal(), 42);
  t->pending[0]->complete(S_OK);
  runPosted();
  EXPECT_EQ(response<WriteResponse>(id).results.at(0), StatusCode(Status::Good));

  const uint32_t id2 = startWrite("Setpoint", Variant::of(int16_t{43}));
  t->pending[1]->complete(E_FAIL, true, OPC_QUALITY_COMM_FAILURE);
  runPosted();
  EXPECT_EQ(response<WriteResponse>(id2).results.at(0), StatusCode(Status::BadCommunicationError));
}

TEST_F(AttributeServices, write_refusals_comeBeforeAnyDeviceTraffic) {
  DeviceTag* ro = addTag("ReadOnly", VT_I2, 0, OPC_READABLE);
  DeviceTag* n = addTag("Num", VT_UI2);
  DeviceTag* s = addTag("Text", VT_BSTR, 4);
  DeviceTag* arr = addTag("Arr", VT_ARRAY | VT_I2, 3);
  build();
  EXPECT_EQ(write("ReadOnly", Variant::of(int16_t{1})), StatusCode(Status::BadNotWritable));
  EXPECT_EQ(write("Num", Variant::of(int16_t{1})), StatusCode(Status::BadTypeMismatch));
  EXPECT_EQ(write("Num", Variant::of(1.0)), StatusCode(Status::BadTypeMismatch));
  EXPECT_EQ(write("Num", Variant()), StatusCode(Status::BadTypeMismatch));
  EXPECT_EQ(write("Num", Variant::arrayOf(std::vector<uint16_t>{1})), StatusCode(Status::BadTypeMismatch));
  EXPECT_EQ(write("Text", Variant::of(String("\xE2\x82\xAC"))), StatusCode(Status::BadOutOfRange));
  EXPECT_EQ(write("Arr", Variant::arrayOf(std::vector<int16_t>{1, 2})), StatusCode(Status::BadTypeMismatch));
  EXPECT_EQ(write("Missing", Variant::of(int16_t{1})), StatusCode(Status::BadNodeIdUnknown));
  EXPECT_TRUE(ro->pending.empty());
  EXPECT_TRUE(n->pending.empty());
  EXPECT_TRUE(s->pending.empty());
  EXPECT_TRUE(arr->pending.empty());

  WriteRequest w;
  WriteValue v;
  v.nodeId = tagId("Num");
  v.attributeId = static_cast<uint32_t>(A::DisplayName);
  v.value.value = Variant::of(LocalizedText("x"));
  w.nodesToWrite.push_back(v);
  EXPECT_EQ(run(&UaServices::write, w).results.at(0), StatusCode(Status::BadNotWritable));
  EXPECT_EQ(run(&UaServices::write, WriteRequest{}).responseHeader.serviceResult,
            StatusCode(Status::BadNothingToDo));
}

// A reader's session: writes are BadUserAccessDenied before any device traffic, and
// UserAccessLevel says so while AccessLevel still shows what the tag allows.
TEST_F(AttributeServices, readerSession_isDeniedWrites_andItsUserAccessLevelHasNoWrite) {
  DeviceTag* n = addTag("Num", VT_I2);
  addTag("ReadOnly", VT_I2, 0, OPC_READABLE);
  build();
  session_->mayWrite = false;
  EXPECT_EQ(write("Num", Variant::of(int16_t{1})), StatusCode(Status::BadUserAccessDenied));
  EXPECT_EQ(write("ReadOnly", Variant::of(int16_t{1})), StatusCode(Status::BadNotWritable));
  EXPECT_TRUE(n->pending.empty());
  EXPECT_EQ(*readAttr(tagId("Num"), A::AccessLevel).value->get<uint8_t>(), 3);
  EXPECT_EQ(*readAttr(tagId("Num"), A::UserAccessLevel).value->get<uint8_t>(), 1);
  session_->mayWrite = true;
  EXPECT_EQ(*readAttr(tagId("Num"), A::UserAccessLevel).value->get<uint8_t>(), 3);
  startWrite("Num", Variant::of(int16_t{1}));
  EXPECT_EQ(n->pending.size(), 1u);
}

TEST_F(AttributeServices, write_arrayAndStringValuesArriveAsTheTagsType) {
  DeviceTag* arr = addTag("Bits", VT_ARRAY | VT_BOOL, 3);
  DeviceTag* s = addTag("Text", VT_BSTR, 4);
  build();
  startWrite("Bits", Variant::arrayOf(std::vector<bool>{true, false, true}));
  startWrite("Text", Variant::of(String("Ab\xC3\xA9")));  // é fits in 8 bits
  ASSERT_EQ(arr->pending.size(), 1u);
  SOCmnVariant bits = arr->pending[0]->getWriteValue();
  EXPECT_EQ(bits.vt(), VT_ARRAY | VT_BOOL);
  ASSERT_EQ(bits.arrayCount(), 3u);
  EXPECT_EQ(bits.arrayData<int16_t>()[0], VARIANT_TRUE);
  EXPECT_EQ(bits.arrayData<int16_t>()[1], VARIANT_FALSE);
  ASSERT_EQ(s->pending.size(), 1u);
  EXPECT_EQ(s->pending[0]->getWriteValue().bstrVal(), u"Ab\u00e9");
}

TEST_F(AttributeServices, standardNodes_answerWhatClientsReadOnConnect) {
  build();
  Variant ns = *readAttr(NodeId(0, Id::Server_NamespaceArray), A::Value).value;
  ASSERT_EQ(ns.array.size(), 2u);
  EXPECT_EQ(std::get<String>(ns.array[1]), "urn:tarvelle:zentarc");
  EXPECT_EQ(*readAttr(NodeId(0, Id::Server_ServerStatus_State), A::Value).value->get<int32_t>(), 0);
  DataValue status = readAttr(NodeId(0, Id::Server_ServerStatus), A::Value);
  ServerStatusDataType st;
  ASSERT_TRUE(fromExtensionObject(*status.value->get<ExtensionObject>(), st));
  EXPECT_EQ(st.state, ServerState::Running);
  // The standard's numbers for the operation limits, as generic clients look them up.
  EXPECT_EQ(*readAttr(NodeId(0, 11705), A::Value).value->get<uint32_t>(),
            services_->limits().maxNodesPerRead);
  EXPECT_EQ(*readAttr(NodeId(0, 11707), A::Value).value->get<uint32_t>(),
            services_->limits().maxNodesPerWrite);
  EXPECT_EQ(*readAttr(NodeId(0, 11714), A::Value).value->get<uint32_t>(),
            services_->limits().maxMonitoredItemsPerCall);

  services_->shutdownStarted("maintenance", 5);
  EXPECT_EQ(*readAttr(NodeId(0, Id::Server_ServerStatus_State), A::Value).value->get<int32_t>(),
            static_cast<int32_t>(ServerState::Shutdown));
  EXPECT_EQ(readAttr(NodeId(0, Id::Server_ServerStatus_ShutdownReason), A::Value)
                .value->get<LocalizedText>()->text, "maintenance");
}

TEST_F(AttributeServices, read_indexRangeOnArrays) {
  DeviceTag* t = addTag("Arr", VT_ARRAY | VT_UI2, 5);
  build();
  const uint16_t v[] = {10, 11, 12, 13, 14};
  t->getCache()->setValue(SOCmnVariant::fromArray<uint16_t>(VT_UI2, v));
  ReadRequest r;
  ReadValueId id = valueOf("Arr");
  id.indexRange = "1:3";
  r.maxAge = 1e9;
  r.nodesToRead = {id};
  id.indexRange = "7";
  r.nodesToRead.push_back(id);
  id.indexRange = "3:1";
  r.nodesToRead.push_back(id);
  auto resp = run(&UaServices::read, r);
  ASSERT_EQ(resp.results[0].value->array.size(), 3u);
  EXPECT_EQ(std::get<uint16_t>(resp.results[0].value->array[0]), 11);
  EXPECT_EQ(resp.results[1].status, StatusCode(Status::BadIndexRangeNoData));
  EXPECT_EQ(resp.results[2].status, StatusCode(Status::BadIndexRangeInvalid));
}

}  // namespace
}  // namespace zentarc::ua::test
