// The JSON format: payloads of tag and PLC states, and writes read from what clients send,
// checked against the OPC UA side so both tell the same truth and take the same values.
#include <gtest/gtest.h>

#include <cmath>

#include "server/mqtt/JsonFormat.h"
#include "server/mqtt/JsonValues.h"
#include "server/mqtt/StatusNames.h"
#include "server/toolkit/ua/services/ValueMapping.h"

namespace {

using namespace zentarc::mqtt;
using zentarc::mqtt::json::Value;

SOCmnPointer<SODaSTag> makeTag(const std::string& name, VARTYPE vt, std::uint32_t rights, std::uint32_t count = 0) {
  SOCmnPointer<SODaSTag> t(new SODaSTag());
  t->setName(name);
  t->setAccessRights(rights);
  t->setNativeDatatype(vt);
  if ((vt & VT_ARRAY) || vt == VT_BSTR) t->cache().setInitialValue(SOCmnVariant::zeroOf(vt, count));
  return t;
}

PublishedTag published(SOCmnPointer<SODaSTag> tag, std::size_t plc, std::uint32_t count = 0) {
  PublishedTag p;
  p.tag = tag;
  p.plc = plc;
  p.type = tag->getNativeDatatype();
  p.count = count;
  p.readable = tag->getAccessRights() & OPC_READABLE;
  p.writable = tag->getAccessRights() & OPC_WRITEABLE;
  return p;
}

Value json(const std::string& text) {
  Value v;
  std::string error;
  EXPECT_TRUE(json::parse(text, v, error)) << text << ": " << error;
  return v;
}

SODaSCacheSnapshot snapshot(SOCmnVariant value, std::uint16_t quality, bool waiting = false) {
  SODaSCacheSnapshot s;
  s.value = std::move(value);
  s.quality = quality;
  s.waitingForInitialData = waiting;
  s.timeStamp = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796638530123LL));
  return s;
}

std::string payload(SODaSCacheSnapshot s) { return tagPayload({0, std::move(s)}, true, {}); }

// The payload's value as JSON text.
std::string valueOf(const std::string& payload) {
  const Value v = json(payload);
  const Value* value = v.member("value");
  return value ? json::serialize(*value) : "(none)";
}

TEST(JsonPayload, goodValuesCarryValueStatusAndSourceTime) {
  EXPECT_EQ(payload(snapshot(SOCmnVariant::fromI2(-42), OPC_QUALITY_GOOD)),
            R"({"value":-42,"status":"Good","ts":"2026-12-07T10:15:30.123Z"})");
  EXPECT_EQ(valueOf(payload(snapshot(SOCmnVariant::fromUI4(4000000000u), OPC_QUALITY_GOOD))), "4000000000");
  EXPECT_EQ(valueOf(payload(snapshot(SOCmnVariant::fromBool(true), OPC_QUALITY_GOOD))), "true");
  const std::u16string padded(u"AB\u00e9\0\0", 5);
  // Latin-1 decoded, the NUL padding gone.
  EXPECT_EQ(valueOf(payload(snapshot(SOCmnVariant::fromBstr(padded), OPC_QUALITY_GOOD))), "\"AB\xc3\xa9\"");
  const float floats[] = {1.5f, NAN, -INFINITY};
  EXPECT_EQ(valueOf(payload(snapshot(SOCmnVariant::fromArray<float>(VT_R4, floats), OPC_QUALITY_GOOD))),
            R"([1.5,"NaN","-Infinity"])");
  const VARIANT_BOOL bools[] = {VARIANT_TRUE, VARIANT_FALSE};
  EXPECT_EQ(valueOf(payload(snapshot(SOCmnVariant::fromArray<VARIANT_BOOL>(VT_BOOL, bools), OPC_QUALITY_GOOD))),
            "[true,false]");
  const std::uint8_t bytes[] = {0, 255};
  EXPECT_EQ(valueOf(payload(snapshot(SOCmnVariant::fromArray<std::uint8_t>(VT_UI1, bytes), OPC_QUALITY_GOOD))),
            "[0,255]");
}

TEST(JsonPayload, badStatusesCarryNullAndTheUaName) {
  EXPECT_EQ(payload(snapshot(SOCmnVariant::fromI2(7), OPC_QUALITY_COMM_FAILURE)),
            R"({"value":null,"status":"BadCommunicationError","ts":"2026-12-07T10:15:30.123Z"})");
  EXPECT_EQ(payload(snapshot(SOCmnVariant::fromI2(0), OPC_QUALITY_GOOD, true)).substr(0, 54),
            R"({"value":null,"status":"BadWaitingForInitialData","ts")");
  EXPECT_EQ(tagPayload({0, {}}, false, {}).substr(0, 44), R"({"value":null,"status":"BadNotReadable","ts")");
}

// Every quality, fresh or never read, gets the status name an OPC UA client sees.
TEST(JsonPayload, statusNames_agreeWithOpcUaForEveryQuality) {
  for (unsigned q = 0; q <= 0xFF; ++q)
    for (bool waiting : {false, true}) {
      const SODaSCacheSnapshot s = snapshot(SOCmnVariant::fromI2(1), static_cast<std::uint16_t>(q), waiting);
      EXPECT_EQ(statusName(s), zentarc::ua::statusCodeName(zentarc::ua::statusForCache(s))) << q << " " << waiting;
    }
}

struct Conversion {
  const char* json;
  VARTYPE type;
  std::uint32_t count;
  const char* status;  // "" for accepted
};

TEST(JsonWriteValue, checksTypeAndRangeOfEveryKindOfTag) {
  const Conversion cases[] = {
      {"32767", VT_I2, 0, ""},           {"-32768", VT_I2, 0, ""},         {"32768", VT_I2, 0, "BadOutOfRange"},
      {"65535", VT_UI2, 0, ""},          {"-1", VT_UI2, 0, "BadOutOfRange"}, {"1.5", VT_I2, 0, "BadTypeMismatch"},
      {"2.0", VT_I4, 0, ""},             {"1e3", VT_I4, 0, ""},            {"4294967295", VT_UI4, 0, ""},
      {"4294967296", VT_UI4, 0, "BadOutOfRange"}, {"99999999999999999999", VT_I4, 0, "BadOutOfRange"},
      {"\"12\"", VT_I2, 0, "BadTypeMismatch"},    {"true", VT_I2, 0, "BadTypeMismatch"},
      {"null", VT_I2, 0, "BadTypeMismatch"},      {"1.25", VT_R4, 0, ""},
      {"1e39", VT_R4, 0, "BadOutOfRange"},        {"\"NaN\"", VT_R4, 0, ""},
      {"\"Infinity\"", VT_R4, 0, ""},             {"\"nan\"", VT_R4, 0, "BadTypeMismatch"},
      {"true", VT_BOOL, 0, ""},          {"1", VT_BOOL, 0, "BadTypeMismatch"},
      {"\"caf\\u00e9\"", VT_BSTR, 0, ""}, {"\"\\u0100\"", VT_BSTR, 0, "BadOutOfRange"},
      {"\"\\ud83d\\ude00\"", VT_BSTR, 0, "BadOutOfRange"}, {"5", VT_BSTR, 0, "BadTypeMismatch"},
      {"[1,2,3]", VT_ARRAY | VT_UI1, 3, ""},      {"[1,2]", VT_ARRAY | VT_UI1, 3, "BadTypeMismatch"},
      {"[1,2,256]", VT_ARRAY | VT_UI1, 3, "BadOutOfRange"}, {"[-128,127]", VT_ARRAY | VT_I1, 2, ""},
      {"[1,\"2\"]", VT_ARRAY | VT_I2, 2, "BadTypeMismatch"}, {"[true,false]", VT_ARRAY | VT_BOOL, 2, ""},
      {"[0.5,\"-Infinity\"]", VT_ARRAY | VT_R4, 2, ""},     {"7", VT_ARRAY | VT_I4, 1, "BadTypeMismatch"},
  };
  for (const Conversion& c : cases) {
    SOCmnVariant out;
    EXPECT_EQ(toTagValue(json(c.json), c.type, c.count, out), c.status) << c.json << " as " << c.type;
    if (*c.status == '\0') {
      EXPECT_EQ(out.vt(), c.type) << c.json;
    }
  }
}

// The same value written over MQTT and over OPC UA reaches the PLC as the same toolkit value,
// and what OPC UA refuses for its character set MQTT refuses with the same status.
TEST(JsonWriteValue, agreesWithOpcUaWrites) {
  using zentarc::ua::Variant;
  struct Pair {
    const char* json;
    Variant ua;
    VARTYPE type;
    std::uint32_t count;
  };
  const Pair pairs[] = {
      {"-5", Variant::of(int16_t{-5}), VT_I2, 0},
      {"70000", Variant::of(int32_t{70000}), VT_I4, 0},
      {"0.1", Variant::of(0.1f), VT_R4, 0},
      {"false", Variant::of(false), VT_BOOL, 0},
      {"\"Gr\\u00fc\\u00df\"", Variant::of("Gr\xc3\xbc\xc3\x9f"), VT_BSTR, 0},
      {"\"\\u20ac\"", Variant::of("\xe2\x82\xac"), VT_BSTR, 0},
      {"[1,2,3]", Variant::arrayOf(std::vector<uint16_t>{1, 2, 3}), VT_ARRAY | VT_UI2, 3},
      {"[1,2]", Variant::arrayOf(std::vector<uint16_t>{1, 2}), VT_ARRAY | VT_UI2, 3},
      {"[-1.5,2]", Variant::arrayOf(std::vector<float>{-1.5f, 2.0f}), VT_ARRAY | VT_R4, 2},
  };
  for (const Pair& p : pairs) {
    SOCmnVariant fromMqtt, fromUa;
    const std::string_view mqttStatus = toTagValue(json(p.json), p.type, p.count, fromMqtt);
    const auto uaStatus = zentarc::ua::fromVariant(p.ua, p.type, p.count, fromUa);
    EXPECT_EQ(mqttStatus.empty() ? std::string("Good") : std::string(mqttStatus),
              zentarc::ua::statusCodeName(uaStatus))
        << p.json;
    if (mqttStatus.empty()) {
      EXPECT_TRUE(fromMqtt == fromUa) << p.json;
    }
  }
}

class JsonFormatTest : public ::testing::Test {
 protected:
  JsonFormatTest() {
    plant.plcs = {"Line1", "Odd/PLC"};
    plant.tags.push_back(published(makeTag("Speed", VT_I2, OPC_READABLE | OPC_WRITEABLE), 0));
    plant.tags.push_back(published(makeTag("Limit", VT_I2, OPC_READABLE), 0));
    plant.tags.push_back(published(makeTag("a+b", VT_ARRAY | VT_UI2, OPC_READABLE | OPC_WRITEABLE, 2), 1, 2));
  }
  PublishedPlant plant;
};

TEST_F(JsonFormatTest, topicsPutPrefixNodePlcAndTagOnLevelsOfTheirOwn) {
  JsonFormat f(plant, "site/opczentarc", "node#1");
  EXPECT_EQ(f.tagTopic(0), "site/opczentarc/node%231/Line1/Speed");
  EXPECT_EQ(f.tagTopic(2), "site/opczentarc/node%231/Odd%2FPLC/a%2Bb");
  EXPECT_EQ(f.plcStateTopic(1), "site/opczentarc/node%231/Odd%2FPLC/$state");
  EXPECT_EQ(f.nodeState(true).topic, "site/opczentarc/node%231/$state");
  EXPECT_EQ(f.nodeState(true).payload, "online");
  EXPECT_EQ(f.nodeState(false).payload, "offline");
  EXPECT_TRUE(f.nodeState(false).retained);
  EXPECT_EQ(f.writeFilters(), std::vector<std::string>{"site/opczentarc/node%231/+/+/set"});
  EXPECT_EQ(f.clientId(), "opczentarc-node#1");
}

TEST_F(JsonFormatTest, writes_takeARequestObjectOrABareValue_andEchoTheId) {
  JsonFormat f(plant, "opczentarc", "n");
  WriteCommand c = f.decodeWrite("opczentarc/n/Line1/Speed/set", R"({"value": 12, "id": {"req": 7}})");
  EXPECT_EQ(c.tag, 0u);
  EXPECT_EQ(c.status, "");
  EXPECT_EQ(c.value.iVal(), 12);
  EXPECT_EQ(c.idJson, R"({"req":7})");
  EXPECT_EQ(c.resultTopic, "opczentarc/n/Line1/Speed/set/result");
  const Outgoing result = f.writeResult(c, "Good", std::chrono::system_clock::time_point(std::chrono::milliseconds(5)));
  EXPECT_EQ(result.payload, R"({"status":"Good","ts":"1970-01-01T00:00:00.005Z","id":{"req":7}})");
  EXPECT_FALSE(result.retained);

  c = f.decodeWrite("opczentarc/n/Odd%2FPLC/a%2Bb/set", "[3, 4]");
  EXPECT_EQ(c.tag, 2u);
  EXPECT_EQ(c.status, "");
  EXPECT_EQ(c.value.arrayCount(), 2u);
  EXPECT_EQ(c.idJson, "");
  EXPECT_EQ(f.writeResult(c, "BadTimeout", {}).payload.find("\"id\""), std::string::npos);
}

TEST_F(JsonFormatTest, writes_thatCannotBeRead_sayWhy) {
  JsonFormat f(plant, "opczentarc", "n");
  EXPECT_EQ(f.decodeWrite("opczentarc/n/Line1/Speed/set", "{\"value\": 1").status, "BadDecodingError");
  EXPECT_EQ(f.decodeWrite("opczentarc/n/Line1/Speed/set", "").status, "BadDecodingError");
  EXPECT_EQ(f.decodeWrite("opczentarc/n/Line1/Speed/set", R"({"id": 3})").status, "BadDecodingError");
  EXPECT_EQ(f.decodeWrite("opczentarc/n/Line1/Speed/set", R"({"value": "fast", "id": 3})").status, "BadTypeMismatch");
  EXPECT_EQ(f.decodeWrite("opczentarc/n/Line1/Speed/set", R"({"value": 40000, "id": 3})").idJson, "3");
  const WriteCommand unknown = f.decodeWrite("opczentarc/n/Line1/Nothing/set", "1");
  EXPECT_EQ(unknown.tag, kNoTag);
  EXPECT_EQ(unknown.status, "BadNodeIdUnknown");
  EXPECT_EQ(unknown.resultTopic, "opczentarc/n/Line1/Nothing/set/result");
  // The raw name is not the topic: only the encoded level names the tag.
  EXPECT_EQ(f.decodeWrite("opczentarc/n/Odd/PLC/a+b/set", "[1,2]").tag, kNoTag);
}

TEST_F(JsonFormatTest, plcState_carriesStateConnectionAndLastResult) {
  JsonFormat f(plant, "opczentarc", "n");
  PlcState s;
  s.diagnostics.state = "failing";
  s.diagnostics.connected = false;
  s.diagnostics.lastResultCode = 2;
  s.diagnostics.cpuState = "unknown";
  s.diagnostics.lastChange = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796638530123LL));
  s.resultText = "Connection refused";
  std::vector<Outgoing> out;
  f.plcState(0, s, {}, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].topic, "opczentarc/n/Line1/$state");
  EXPECT_TRUE(out[0].retained);
  EXPECT_EQ(out[0].payload, R"({"state":"failing","connected":false,"cpu":"unknown","lastResultCode":2,)"
                            R"("lastResult":"Connection refused","ts":"2026-12-07T10:15:30.123Z"})");
}

}  // namespace
