#include <gtest/gtest.h>

#include "server/toolkit/ua/Binary.h"
#include "server/toolkit/ua/ServicesAttribute.h"
#include "server/toolkit/ua/ServicesMonitoredItem.h"
#include "server/toolkit/ua/ServicesSession.h"
#include "server/toolkit/ua/ServicesSubscription.h"
#include "server/toolkit/ua/ServicesView.h"

using namespace zentarc::ua;

namespace {

template <typename T>
T roundTrip(const T& v) {
  return decode<T>(encode(v));
}

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int x : b) s.push_back(static_cast<char>(x));
  return s;
}

}  // namespace

TEST(UaCodec, nodeIdForms_roundTripWithCompactEncodings) {
  EXPECT_EQ(encode(NodeId(0, 85u)), bytes({0x00, 85}));
  EXPECT_EQ(encode(NodeId(1, 300u)), bytes({0x01, 1, 0x2C, 0x01}));
  EXPECT_EQ(encode(NodeId(2, 70000u)), bytes({0x02, 2, 0, 0x70, 0x11, 0x01, 0}));
  EXPECT_EQ(encode(NodeId(1, String("Tag1"))), bytes({0x03, 1, 0, 4, 0, 0, 0, 'T', 'a', 'g', '1'}));
  Guid g = *Guid::parse("72962B91-FA75-4AE6-8D28-B404DC7DAF63");
  for (const NodeId& id : {NodeId(0, 85u), NodeId(1, 300u), NodeId(300, 70000u),
                           NodeId(1, String("Pump.Speed")), NodeId(3, g),
                           NodeId(4, ByteString{std::string("\x00\x01\xFF", 3)})}) {
    EXPECT_EQ(roundTrip(id), id) << id.toString();
    EXPECT_EQ(NodeId::parse(id.toString()), id) << id.toString();
  }
}

TEST(UaCodec, nodeIdParse_rejectsMalformedText) {
  for (const char* t : {"", "i=", "x=1", "ns=;i=1", "ns=70000;i=1", "i=99999999999", "s=",
                        "g=1234", "ns=1", "i=12a"})
    EXPECT_FALSE(NodeId::parse(t).has_value()) << t;
  EXPECT_EQ(NodeId::parse("i=2253"), NodeId(0, 2253u));
  EXPECT_EQ(NodeId::parse("ns=1;s=A;B"), NodeId(1, String("A;B")));
}

TEST(UaCodec, expandedNodeId_keepsUriAndServerIndex) {
  ExpandedNodeId e(NodeId(0, 12u));
  e.namespaceUri = "urn:x";
  e.serverIndex = 3;
  std::string enc = encode(e);
  EXPECT_EQ(static_cast<uint8_t>(enc[0]), 0xC0);
  EXPECT_EQ(roundTrip(e), e);
  // A plain NodeId must not carry the expanded flags.
  EXPECT_THROW(decode<NodeId>(enc), UaError);
}

TEST(UaCodec, builtinScalars_roundTrip) {
  EXPECT_EQ(roundTrip(String("grüße")), "grüße");
  EXPECT_EQ(roundTrip(DateTime{132000000000000000LL}).ticks, 132000000000000000LL);
  EXPECT_EQ(roundTrip(ByteString{"abc"}).data, "abc");
  EXPECT_EQ(encode(ByteString{}), bytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(roundTrip(QualifiedName{2, "Name"}), (QualifiedName{2, "Name"}));
  EXPECT_EQ(roundTrip(LocalizedText("en", "hello")), LocalizedText("en", "hello"));
  EXPECT_EQ(encode(LocalizedText()), bytes({0}));
  ExtensionObject eo = toExtensionObject(AnonymousIdentityToken{"anon"});
  ExtensionObject back = roundTrip(eo);
  AnonymousIdentityToken tok;
  ASSERT_TRUE(fromExtensionObject(back, tok));
  EXPECT_EQ(tok.policyId, "anon");
  UserNameIdentityToken wrong;
  EXPECT_FALSE(fromExtensionObject(back, wrong));
}

TEST(UaCodec, variant_scalarsAndArraysOfEveryTagType) {
  std::vector<Variant> vs = {
      Variant::of(true), Variant::of(int8_t{-5}), Variant::of(uint8_t{200}),
      Variant::of(int16_t{-32768}), Variant::of(uint16_t{65535}), Variant::of(int32_t{-7}),
      Variant::of(uint32_t{4000000000u}), Variant::of(1.5f), Variant::of(2.25),
      Variant::of(String("text")), Variant::of(StatusCode(Status::BadNotWritable)),
      Variant::of(NodeId(1, String("x"))), Variant::of(LocalizedText("t")),
      Variant::arrayOf(std::vector<int16_t>{1, -2, 3}), Variant::arrayOf(std::vector<bool>{true, false}),
      Variant::arrayOf(std::vector<float>{1.f, 2.f}), Variant::arrayOf(std::vector<uint8_t>{}),
      Variant::arrayOf(std::vector<String>{"a", "b"}), Variant{}};
  for (const Variant& v : vs) EXPECT_EQ(roundTrip(v), v) << v.toString();
  Variant dims = Variant::arrayOf(std::vector<int32_t>{1, 2, 3, 4, 5, 6});
  dims.arrayDimensions = {2, 3};
  EXPECT_EQ(roundTrip(dims), dims);
  EXPECT_EQ(Variant::arrayOf(std::vector<int16_t>{1, -2}).toString(), "[1, -2]");
}

TEST(UaCodec, variant_dimensionsThatDoNotMatchTheLengthAreRejected) {
  Variant dims = Variant::arrayOf(std::vector<int32_t>{1, 2, 3});
  dims.arrayDimensions = {2, 2};
  EXPECT_THROW(decode<Variant>(encode(dims)), UaError);
  // Scalar with the dimensions bit.
  EXPECT_THROW(decode<Variant>(bytes({0x46, 1, 0, 0, 0})), UaError);
  // Unknown built-in type 26.
  EXPECT_THROW(decode<Variant>(bytes({26})), UaError);
}

TEST(UaCodec, dataValue_optionalFieldsRoundTrip) {
  DataValue dv;
  dv.value = Variant::of(uint16_t{7});
  dv.status = StatusCode(Status::BadWaitingForInitialData);
  dv.sourceTimestamp = DateTime{5};
  dv.serverTimestamp = DateTime{6};
  dv.serverPicoseconds = 9;
  EXPECT_EQ(roundTrip(dv), dv);
  EXPECT_EQ(encode(DataValue{}), bytes({0}));
  EXPECT_THROW(decode<DataValue>(bytes({0x40})), UaError);
}

TEST(UaCodec, truncatedOrLyingLengths_areDecodingErrorsNotAllocations) {
  ReadRequest req;
  req.nodesToRead.resize(3);
  req.nodesToRead[1].nodeId = NodeId(1, String("Tag"));
  std::string full = encode(req);
  for (size_t cut = 0; cut < full.size(); ++cut) {
    try {
      decode<ReadRequest>(full.substr(0, cut));
      ADD_FAILURE() << "decoded a truncated message of " << cut << " bytes";
    } catch (const UaError& e) {
      EXPECT_EQ(e.code(), StatusCode(Status::BadDecodingError));
    }
  }
  // A string claiming 2 GB, and an array claiming a million elements in a few bytes.
  EXPECT_THROW(decode<String>(bytes({0xFF, 0xFF, 0xFF, 0x7F, 'a'})), UaError);
  EXPECT_THROW(decode<std::vector<uint32_t>>(bytes({0x40, 0x42, 0x0F, 0x00, 1, 2})), UaError);
  EXPECT_THROW(decode<String>(bytes({0xFE, 0xFF, 0xFF, 0xFF})), UaError);
  DecodeLimits small;
  small.maxArrayLength = 2;
  EXPECT_THROW(decode<std::vector<uint8_t>>(bytes({3, 0, 0, 0, 1, 2, 3}), small), UaError);
  EXPECT_THROW(decode<String>(full + "x"), UaError);
}

// Null takes no wire byte per element: five bytes could stand for a million decoded values.
TEST(UaCodec, arrayOfNull_isADecodingError_whateverItsLength) {
  for (int32_t n : {-1, 0, 1, 1000000}) {
    std::string v = bytes({0x80});
    v.append(reinterpret_cast<const char*>(&n), 4);
    v.append(n > 0 ? static_cast<size_t>(n) : 0, '\0');  // as many bytes as it claims
    try {
      decode<Variant>(v);
      ADD_FAILURE() << "decoded an array of Null of length " << n;
    } catch (const UaError& e) {
      EXPECT_EQ(e.code(), StatusCode(Status::BadDecodingError));
    }
  }
  EXPECT_EQ(decode<Variant>(bytes({0x00})).type, VariantType::Null);  // the scalar stays fine
}

// One wire byte per Boolean, about a hundred bytes per decoded element: the budget (a floor
// plus a multiple of the input) refuses the array before anything of its size is allocated.
TEST(UaCodec, decodedSize_isBoundedByTheInputsSize) {
  DecodeLimits limits;
  limits.decodedFloor = 64 * 1024;
  limits.decodedPerInputByte = 4;
  const int32_t n = 200000;
  std::string v = bytes({0x81});
  v.append(reinterpret_cast<const char*>(&n), 4);
  v.append(static_cast<size_t>(n), '\1');
  try {
    decode<Variant>(v, limits);
    ADD_FAILURE() << "decoded " << n << " Booleans within " << Decoder::decodedBudget(limits, v.size());
  } catch (const UaError& e) {
    EXPECT_EQ(e.code(), StatusCode(Status::BadEncodingLimitsExceeded));
  }
  // Empty DataValues are one byte each on the wire.
  std::string values;
  values.append(reinterpret_cast<const char*>(&n), 4);
  values.append(static_cast<size_t>(n), '\0');
  EXPECT_THROW(decode<std::vector<DataValue>>(values, limits), UaError);
  // Within the budget the same shapes decode, and the decoder says what they took.
  const int32_t few = 100;
  std::string small = bytes({0x81});
  small.append(reinterpret_cast<const char*>(&few), 4);
  small.append(static_cast<size_t>(few), '\1');
  Decoder d(small, limits);
  Variant ok;
  d.read(ok);
  EXPECT_EQ(ok.array.size(), 100u);
  EXPECT_EQ(d.decodedBytes(), 100 * sizeof(Scalar));
  // The budget never passes the cap, however large the input.
  limits.decodedCap = 1 << 20;
  EXPECT_EQ(Decoder::decodedBudget(limits, size_t{1} << 40), size_t{1} << 20);
}

TEST(UaCodec, nesting_isBoundedByDepthLimit) {
  // A Variant of type Variant nested far deeper than any real message.
  std::string deep;
  for (int i = 0; i < 1000; ++i) deep.push_back(24);
  deep.push_back(0);
  EXPECT_THROW(decode<Variant>(deep), UaError);
  // DiagnosticInfo with inner infos.
  std::string diag(1000, static_cast<char>(0x40));
  diag.push_back(0);
  EXPECT_THROW(decode<DiagnosticInfo>(diag), UaError);
  // Shallow nesting is fine.
  auto inner = std::make_shared<Variant>(Variant::of(int32_t{1}));
  Variant outer = Variant::of(inner);
  EXPECT_EQ(roundTrip(outer), outer);
}

TEST(UaCodec, serviceStructures_roundTripThroughFieldLists) {
  CreateMonitoredItemsRequest req;
  req.requestHeader.authenticationToken = NodeId(0, String("tok"));
  req.requestHeader.requestHandle = 42;
  req.subscriptionId = 7;
  MonitoredItemCreateRequest item;
  item.itemToMonitor.nodeId = NodeId(1, String("T1"));
  item.requestedParameters.samplingInterval = 100;
  item.requestedParameters.filter = toExtensionObject(DataChangeFilter{});
  req.itemsToCreate = {item, item};
  CreateMonitoredItemsRequest back = roundTrip(req);
  EXPECT_EQ(back.requestHeader.requestHandle, 42u);
  EXPECT_EQ(back.requestHeader.authenticationToken, req.requestHeader.authenticationToken);
  ASSERT_EQ(back.itemsToCreate.size(), 2u);
  EXPECT_EQ(back.itemsToCreate[1].itemToMonitor.nodeId, item.itemToMonitor.nodeId);
  EXPECT_EQ(back.itemsToCreate[1].requestedParameters.filter, item.requestedParameters.filter);

  PublishResponse pr;
  pr.subscriptionId = 3;
  DataChangeNotification dcn;
  dcn.monitoredItems.push_back({5, DataValue{Variant::of(1.0f), {}, {}, {}, {}, {}}});
  pr.notificationMessage.notificationData.push_back(toExtensionObject(dcn));
  pr.availableSequenceNumbers = {1, 2};
  PublishResponse pb = roundTrip(pr);
  DataChangeNotification dback;
  ASSERT_TRUE(fromExtensionObject(pb.notificationMessage.notificationData.at(0), dback));
  EXPECT_EQ(dback.monitoredItems.at(0).value, dcn.monitoredItems[0].value);
  EXPECT_EQ(pb.availableSequenceNumbers, pr.availableSequenceNumbers);
}

TEST(UaCodec, statusCodeNames_coverKnownAndUnknownCodes) {
  EXPECT_STREQ(statusCodeName(Status::BadNodeIdUnknown), "BadNodeIdUnknown");
  EXPECT_STREQ(statusCodeName(0x80FF0000u), "0x80FF0000");
  EXPECT_TRUE(StatusCode(Status::Good).isGood());
  EXPECT_TRUE(StatusCode(Status::UncertainInitialValue).isUncertain());
}

TEST(UaCodec, dateTime_unixConversionAndText) {
  DateTime t = DateTime::fromUnixMillis(1000);
  EXPECT_EQ(t.toUnixMillis(), 1000);
  EXPECT_EQ(t.toString(), "1970-01-01T00:00:01.000Z");
}
